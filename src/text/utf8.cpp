#include "text/utf8.h"

#include "text/code_page.h"

namespace halvorn {

std::string EncodeUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  Utf8CodePage utf8;
  const int size = utf8.ToNarrow(0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::string bytes(static_cast<size_t>(size), '\0');
  utf8.ToNarrow(0, text.data(), static_cast<int>(text.size()), bytes.data(), size);
  return bytes;
}

std::u16string DecodeUtf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  Utf8CodePage utf8;
  const int size = utf8.ToWide(0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string text(static_cast<size_t>(size), u'\0');
  utf8.ToWide(0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
  return text;
}

}  // namespace halvorn
