#include "text/utf8.h"

#include "text/code_page.h"

namespace halvorn {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kFirstByteEscape = 0xDC80;
constexpr char16_t kLastByteEscape = 0xDCFF;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code page's conversion; lone surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  Utf8CodePage utf8;
  const int size = utf8.ToNarrow(0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::string bytes(static_cast<size_t>(size), '\0');
  utf8.ToNarrow(0, text.data(), static_cast<int>(text.size()), bytes.data(), size);
  return bytes;
}

// A low surrogate is lone unless a high one stands right before it: the
// conversion pairs a high surrogate with the low one that follows.
bool IsByteEscape(std::u16string_view text, size_t i) {
  return text[i] >= kFirstByteEscape && text[i] <= kLastByteEscape &&
         (i == 0 || !IsHighSurrogate(text[i - 1]));
}

size_t Utf8Length(char32_t value) {
  return value < 0x80 ? 1 : value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
}

}  // namespace

std::string EncodeUtf8(std::u16string_view text) {
  std::string bytes;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsByteEscape(text, i)) continue;
    bytes += ToUtf8(text.substr(start, i - start));
    bytes += static_cast<char>(text[i] - kFirstByteEscape + 0x80);
    start = i + 1;
  }
  return bytes + ToUtf8(text.substr(start));
}

std::string EncodeValidUtf8(std::u16string_view text) { return ToUtf8(text); }

std::u16string DecodeUtf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  Utf8CodePage utf8;
  const int size = utf8.ToWide(0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string text(static_cast<size_t>(size), u'\0');
  utf8.ToWide(0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
  return text;
}

std::u16string DecodeUtf8KeepingBytes(std::string_view bytes) {
  // The conversion turns each byte that is no UTF-8 into one U+FFFD; a U+FFFD
  // that the bytes spell out in UTF-8 is a character of the text.
  const std::u16string decoded = DecodeUtf8(bytes);
  std::u16string text;
  text.reserve(decoded.size());
  size_t at = 0;  // position in bytes
  for (size_t i = 0; i < decoded.size(); ++i) {
    const char16_t unit = decoded[i];
    if (unit == kReplacement && bytes.substr(at, 3) != "\xEF\xBF\xBD") {
      text += static_cast<char16_t>(kFirstByteEscape + static_cast<unsigned char>(bytes[at]) - 0x80);
      ++at;
    } else if (IsHighSurrogate(unit)) {
      text += decoded.substr(i, 2);
      ++i;
      at += 4;
    } else {
      text += unit;
      at += Utf8Length(unit);
    }
  }
  return text;
}

bool HasLoneSurrogate(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
      ++i;
    else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i]))
      return true;
  }
  return false;
}

}  // namespace halvorn
