// ASCII character classes, without a locale: the tool selects none.
#pragma once

namespace halvorn {

// 0-9, A-Z, a-z; nothing beyond ASCII.
constexpr bool IsAsciiAlphaNumeric(char32_t c) {
  return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z');
}

}  // namespace halvorn
