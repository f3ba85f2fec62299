// UTF-8, the text of every byte-oriented output and of every POSIX name and
// file: the one place where UTF-16 becomes UTF-8 and back.
#pragma once

#include <string>
#include <string_view>

namespace halvorn {

// UTF-16 to UTF-8; lone surrogates become U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

// UTF-8 to UTF-16; bytes that are no UTF-8 become U+FFFD, so a text that does
// not encode back to the same bytes was not valid UTF-8.
std::u16string DecodeUtf8(std::string_view bytes);

}  // namespace halvorn
