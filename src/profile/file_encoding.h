// Profile files as the Windows profile service stores them: a file that starts
// with the UTF-16LE byte-order mark is read and written as UTF-16LE, any other
// as UTF-8 (a UTF-8 byte-order mark is kept). The INI text rules work on UTF-8,
// so a UTF-16 file is edited through a lossless UTF-8 form of its units (a lone
// surrogate keeps its own three-byte form, an odd last byte is kept aside), and
// every line an edit does not touch keeps its bytes.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace halvorn::ini {

// Runs edit on the UTF-8 form of the file's bytes and, when it returns true,
// puts the changed text back into bytes in the file's own encoding.
bool EditInFileEncoding(std::string& bytes, const std::function<bool(std::string& text)>& edit);

// The UTF-8 form of the file's bytes, for reading.
std::string TextOfFile(std::string bytes);

// The lossless conversions themselves: UTF-16LE bytes (an odd last byte is
// left out) to UTF-8 with lone surrogates in their own three-byte form, and
// back. Bytes that are not such UTF-8 become U+FFFD.
std::string Utf16LeToLooseUtf8(std::string_view bytes);
std::string LooseUtf8ToUtf16Le(std::string_view text);

}  // namespace halvorn::ini
