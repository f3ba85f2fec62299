// An environment expansion that replaces the buffer by a set text, or fails.
#pragma once

#include <string>
#include <vector>

#include "dialup/entry/environment.h"

namespace halvorn::testing {

class FakeEnvironment final : public Environment {
 public:
  explicit FakeEnvironment(std::vector<std::string>& log) : m_log(log) {}

  std::u16string expanded = u"C:\\ProgramData\\rasphone.pbk";
  uint32_t error = 0;

  uint32_t ExpandInPlace(char16_t* buffer, uint32_t capacity) override {
    m_log.push_back("ExpandInPlace " + std::to_string(capacity));
    if (error == 0) buffer[expanded.copy(buffer, capacity - 1)] = u'\0';
    return error;
  }

 private:
  std::vector<std::string>& m_log;
};

}  // namespace halvorn::testing
