// Standard output on POSIX: UTF-8, written straight to the descriptor so that
// nothing waits in a buffer when the process ends.
#pragma once

#include "text/console.h"

namespace halvorn {

class PosixConsole final : public Utf8Console {
 public:
  explicit PosixConsole(int fd = 1) : m_fdOutput(fd) {}

 protected:
  void WriteBytes(std::string_view bytes) override;

 private:
  int m_fdOutput;
};

}  // namespace halvorn
