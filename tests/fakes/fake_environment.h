// An environment expansion that replaces the buffer by a set text, or fails.
#pragma once

#include <string>
#include <vector>

#include "dialup/environment.h"
#include "text/console.h"

namespace halvorn::testing {

class FakeEnvironment final : public Environment {
 public:
  explicit FakeEnvironment(std::vector<std::string>& log) : m_log(log) {}

  std::u16string expanded = u"C:\\ProgramData\\rasphone.pbk";
  uint32_t error = 0;
  std::u16string given;  // the buffer's text as it came in

  uint32_t ExpandInPlace(char16_t* buffer, uint32_t capacity) override {
    m_log.push_back("ExpandInPlace " + std::to_string(capacity));
    given = buffer;
    if (error != 0) return error;
    expanded.copy(buffer, expanded.size());
    buffer[expanded.size()] = u'\0';
    return 0;
  }

 private:
  std::vector<std::string>& m_log;
};

}  // namespace halvorn::testing
