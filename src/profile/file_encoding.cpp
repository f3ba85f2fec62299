#include "profile/file_encoding.h"

#include <cstdint>

namespace halvorn::ini {
namespace {

constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

bool IsUtf16(std::string_view bytes) { return bytes.starts_with(kUtf16LeBom); }

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

void AppendUnit(std::string& out, uint32_t unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>(unit >> 8));
}

}  // namespace

std::string Utf16LeToLooseUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2 + 16);
  const size_t units = bytes.size() / 2;
  auto unitAt = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[2 * i])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[2 * i + 1])) << 8;
  };
  for (size_t i = 0; i < units; ++i) {
    const uint32_t unit = unitAt(i);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
      const uint32_t low = unitAt(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, unit);
  }
  return out;
}

std::string LooseUtf8ToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3
                                          : (lead >> 3) == 30 ? 4 : 0;
    uint32_t code = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F)
                                                                                   : (lead & 0x07);
    bool valid = length != 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms and values beyond Unicode are no encoding of a unit.
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && code >= kLeast[length] && code <= 0x10FFFF;
    if (!valid) {
      AppendUnit(out, 0xFFFD);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      AppendUnit(out, 0xD800 + ((code - 0x10000) >> 10));
      AppendUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      AppendUnit(out, code);
    }
    i += length;
  }
  return out;
}

bool EditInFileEncoding(std::string& bytes, const std::function<bool(std::string& text)>& edit) {
  if (!IsUtf16(bytes)) return edit(bytes);
  // The byte-order mark comes along as U+FEFF, which the INI rules skip.
  std::string text = Utf16LeToLooseUtf8(bytes);
  const std::string oddByte = bytes.size() % 2 ? bytes.substr(bytes.size() - 1) : std::string();
  if (!edit(text)) return false;
  bytes.clear();
  bytes.shrink_to_fit();
  bytes = LooseUtf8ToUtf16Le(text);
  bytes += oddByte;
  return true;
}

std::string TextOfFile(std::string bytes) {
  if (IsUtf16(bytes)) return Utf16LeToLooseUtf8(bytes);
  return bytes;  // moved, not copied: a large file is held once
}

}  // namespace halvorn::ini
