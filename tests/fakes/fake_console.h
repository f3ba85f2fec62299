// Captures console output as one UTF-8 transcript, wide and 8-bit texts in order.
#pragma once

#include <string>

#include "text/console.h"

namespace halvorn::testing {

class FakeConsole final : public Utf8Console {
 public:
  std::string transcript;

 protected:
  void WriteBytes(std::string_view bytes) override { transcript.append(bytes); }
};

}  // namespace halvorn::testing
