// UTF-8 <-> UTF-16 with the failure contract of the Windows conversions.
#include <string>

#include "text/code_page.h"

namespace halvorn {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Code page 1252's characters for 0x80 to 0x9F; the bytes it leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the same value.
constexpr char16_t kCodePage1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromCodePage1252(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kCodePage1252High[byte - 0x80] : byte;
}

// Decodes one code point at source[i]; malformed or truncated sequences,
// overlongs, surrogates and values past U+10FFFF take one byte and give U+FFFD.
char32_t DecodeUtf8(const unsigned char* source, int length, int& i) {
  const unsigned char lead = source[i];
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int extra = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + extra >= length) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    const unsigned char next = source[i + k];
    if ((next & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += extra + 1;
  return value;
}

int AppendUtf16(char32_t value, char16_t* out) {
  if (value < 0x10000) {
    out[0] = static_cast<char16_t>(value);
    return 1;
  }
  value -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (value >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
  return 2;
}

int AppendUtf8(char32_t value, char* out) {
  if (value < 0x80) {
    out[0] = static_cast<char>(value);
    return 1;
  }
  if (value < 0x800) {
    out[0] = static_cast<char>(0xC0 | (value >> 6));
    out[1] = static_cast<char>(0x80 | (value & 0x3F));
    return 2;
  }
  if (value < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (value >> 12));
    out[1] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (value & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (value >> 18));
  out[1] = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (value & 0x3F));
  return 4;
}

// Copies the converted units into target, or only counts them when target is
// null, following the capacity rule of the Windows calls.
template <typename Unit>
int Deliver(const std::basic_string<Unit>& converted, Unit* target, int capacity,
            uint32_t& lastError) {
  const int needed = static_cast<int>(converted.size());
  if (target == nullptr || capacity == 0) return needed;
  if (needed > capacity) {
    lastError = kErrorInsufficientBuffer;
    return 0;
  }
  converted.copy(target, converted.size());
  return needed;
}

}  // namespace

int Utf8CodePage::ToWide(uint32_t, const char* source, int sourceLength, char16_t* target,
                         int targetCapacity) {
  if (source == nullptr || sourceLength == 0 || sourceLength < -1 || targetCapacity < 0) {
    m_dwLastError = kErrorInvalidParameter;
    return 0;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(source);
  const int length = sourceLength == -1 ? static_cast<int>(std::char_traits<char>::length(source)) + 1
                                        : sourceLength;
  std::u16string converted;
  converted.reserve(static_cast<size_t>(length));
  char16_t units[2];
  for (int i = 0; i < length;) {
    const int start = i;
    char32_t value = DecodeUtf8(bytes, length, i);
    // A U+FFFD spelled out in the text takes three bytes; a stand-in takes one.
    if (value == kReplacement && i == start + 1 && m_eInvalid == InvalidUtf8::kCodePage1252)
      value = FromCodePage1252(bytes[start]);
    const int count = AppendUtf16(value, units);
    converted.append(units, static_cast<size_t>(count));
  }
  return Deliver(converted, target, targetCapacity, m_dwLastError);
}

int Utf8CodePage::ToNarrow(uint32_t, const char16_t* source, int sourceLength, char* target,
                           int targetCapacity) {
  if (source == nullptr || sourceLength == 0 || sourceLength < -1 || targetCapacity < 0) {
    m_dwLastError = kErrorInvalidParameter;
    return 0;
  }
  const int length = sourceLength == -1
                         ? static_cast<int>(std::char_traits<char16_t>::length(source)) + 1
                         : sourceLength;
  std::string converted;
  converted.reserve(static_cast<size_t>(length));
  char bytes[4];
  for (int i = 0; i < length; ++i) {
    char32_t value = source[i];
    if (value >= 0xD800 && value <= 0xDBFF && i + 1 < length && source[i + 1] >= 0xDC00 &&
        source[i + 1] <= 0xDFFF) {
      value = 0x10000 + ((value - 0xD800) << 10) + (source[i + 1] - 0xDC00);
      ++i;
    } else if (value >= 0xD800 && value <= 0xDFFF) {
      value = kReplacement;
    }
    converted.append(bytes, static_cast<size_t>(AppendUtf8(value, bytes)));
  }
  return Deliver(converted, target, targetCapacity, m_dwLastError);
}

}  // namespace halvorn
