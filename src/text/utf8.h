// UTF-8, the text of every byte-oriented output and of every POSIX name and
// file: the one place where UTF-16 becomes UTF-8 and back.
#pragma once

#include <string>
#include <string_view>

namespace halvorn {

// UTF-16 to UTF-8, for names and files. A lone surrogate U+DC80..U+DCFF
// becomes the byte 0x80..0xFF it stands for (see DecodeUtf8KeepingBytes), so
// a POSIX name that is not UTF-8 comes back as its own bytes; any other lone
// surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

// UTF-16 to UTF-8 that is always valid: every lone surrogate becomes U+FFFD.
// For output a terminal or another program reads as text.
std::string EncodeValidUtf8(std::u16string_view text);

// UTF-8 to UTF-16; bytes that are no UTF-8 become U+FFFD, so a text that does
// not encode back to the same bytes was not valid UTF-8.
std::u16string DecodeUtf8(std::string_view bytes);

// UTF-8 to UTF-16 without losing a byte, for what the system hands over as
// bytes (the command line): each byte that is not part of valid UTF-8 becomes
// the lone surrogate U+DC80 + (byte - 0x80), which no valid text holds, so
// the text shows that it was not UTF-8 and EncodeUtf8 gives the bytes back.
std::u16string DecodeUtf8KeepingBytes(std::string_view bytes);

// Whether text holds a surrogate that is not half of a pair (text that came
// from bytes that were not UTF-8, or that no UTF-8 can carry).
bool HasLoneSurrogate(std::u16string_view text);

}  // namespace halvorn
