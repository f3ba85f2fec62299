// An in-memory profile writer: records every call in order and keeps each
// file's text as the real writers would edit it. It can be told to fail on
// the Nth call or on a given key.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "profile/ini_text.h"
#include "profile/profile_writer.h"
#include "text/console.h"

namespace halvorn::testing {

class FakeProfileWriter final : public ProfileWriter {
 public:
  struct Call {
    std::u16string section;
    std::u16string key;
    std::u16string value;
    std::u16string fileName;
    bool succeeded;
  };

  std::vector<Call> calls;
  int failOnCall = 0;                     // 1-based; 0 never fails by count
  std::optional<std::u16string> failOnKey;  // fails every write of this key
  uint32_t failureCode = 5;               // ERROR_ACCESS_DENIED
  std::map<std::u16string, std::string> files;  // file name -> UTF-8 text

  bool WriteString(const char16_t* section, const char16_t* key, const char16_t* value,
                   const char16_t* fileName) override {
    Call call{Text(section), Text(key), Text(value), Text(fileName), true};
    call.succeeded = !(failOnCall == static_cast<int>(calls.size()) + 1 ||
                       (failOnKey.has_value() && *failOnKey == call.key));
    if (call.succeeded)
      ini::SetValue(files[call.fileName], EncodeUtf8(call.section), EncodeUtf8(call.key),
                    EncodeUtf8(call.value));
    m_dwError = call.succeeded ? 0 : failureCode;
    calls.push_back(call);
    return call.succeeded;
  }
  uint32_t LastError() override { return m_dwError; }

  // The value stored in a file (UTF-8), none when the key is not there.
  std::optional<std::string> ValueOf(std::u16string_view fileName, std::u16string_view section,
                                     std::u16string_view key) const {
    auto file = files.find(std::u16string(fileName));
    if (file == files.end()) return std::nullopt;
    return ini::GetValue(file->second, EncodeUtf8(section), EncodeUtf8(key));
  }

 private:
  static std::u16string Text(const char16_t* text) { return text != nullptr ? text : u""; }
  uint32_t m_dwError = 0;
};

}  // namespace halvorn::testing
