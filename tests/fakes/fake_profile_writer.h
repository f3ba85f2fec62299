// A profile writer that records every call and fails every write of one key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "profile/profile_writer.h"

namespace halvorn::testing {

class FakeProfileWriter final : public ProfileWriter {
 public:
  struct Call { std::u16string section, key, value, fileName; };

  std::vector<Call> calls;
  std::optional<std::u16string> failOnKey;  // its writes fail with ERROR_ACCESS_DENIED

  bool WriteString(const char16_t* section, const char16_t* key, const char16_t* value,
                   const char16_t* fileName) override {
    calls.push_back({Text(section), Text(key), Text(value), Text(fileName)});
    m_dwError = (failOnKey == calls.back().key) ? 5 : 0;
    return m_dwError == 0;
  }
  uint32_t LastError() override { return m_dwError; }

 private:
  static std::u16string Text(const char16_t* text) { return text != nullptr ? text : u""; }
  uint32_t m_dwError = 0;
};

}  // namespace halvorn::testing
