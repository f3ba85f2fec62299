#include "dialup/entry/environment_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <string>

#include "dialup/entry/phonebook_path.h"
#include "text/utf8.h"

namespace halvorn {

namespace {

// The value of a variable, or none when it is unset. A value that is not
// valid UTF-8 names no path the tool could reach again: error is set.
bool LookUp(const std::u16string& name, std::u16string& value, uint32_t& error) {
  std::string narrowName;
  for (char16_t unit : name) {
    if (unit >= 0x80) return false;  // environment names here are ASCII
    narrowName.push_back(static_cast<char>(unit));
  }
  const char* raw = std::getenv(narrowName.c_str());
  std::string bytes;
  if (narrowName == "ALLUSERSPROFILE") {
    bytes = (raw != nullptr && *raw != '\0') ? raw : "/var/lib/halvorn";
    while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
  } else if (raw == nullptr) {
    return false;
  } else {
    bytes = raw;
  }
  value = DecodeUtf8(bytes);
  if (EncodeUtf8(value) != bytes) error = EILSEQ;
  return true;
}

// The text around references is the Windows file name: its backslashes are
// folder separators. A value is a POSIX path already and is kept as it is.
void AppendAsPath(std::u16string& result, std::u16string_view text) {
  for (char16_t unit : text) result.push_back(unit == u'\\' ? u'/' : unit);
}

}  // namespace

uint32_t PosixEnvironment::AllUsersPhonebookFile(char16_t* buffer, uint32_t capacity) {
  if (capacity < std::size(kPhonebookFileName)) return ENAMETOOLONG;
  std::copy(std::begin(kPhonebookFileName), std::end(kPhonebookFileName), buffer);
  return ExpandInPlace(buffer, capacity);
}

uint32_t PosixEnvironment::ExpandInPlace(char16_t* buffer, uint32_t capacity) {
  const std::u16string source(buffer);
  std::u16string result;
  uint32_t error = 0;
  size_t position = 0;
  while (position < source.size()) {
    const size_t open = source.find(u'%', position);
    const size_t close = open == std::u16string::npos ? open : source.find(u'%', open + 1);
    if (close == std::u16string::npos) {
      AppendAsPath(result, std::u16string_view(source).substr(position));
      break;
    }
    AppendAsPath(result, std::u16string_view(source).substr(position, open - position));
    std::u16string value;
    if (close > open + 1 && LookUp(source.substr(open + 1, close - open - 1), value, error)) {
      result += value;
      position = close + 1;
    } else {
      // Not a variable: keep the first percent sign and look again from the
      // second, which may open a reference of its own.
      result.push_back(u'%');
      position = open + 1;
    }
  }
  if (error != 0) return error;
  if (result.size() + 1 > capacity) return ENAMETOOLONG;
  result.copy(buffer, result.size());
  buffer[result.size()] = u'\0';
  return 0;
}

}  // namespace halvorn
