// WideString: the owned UTF-16 string every text of the tool is held in, with
// exactly the operations its users rely on (case-sensitive, left to right, no
// locale). Failures raise std::bad_alloc, std::invalid_argument or
// TextConversionError and leave the string unchanged.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halvorn {

class CodePage;

// A failed platform conversion, carrying its error in HRESULT form.
class TextConversionError : public std::runtime_error {
 public:
  explicit TextConversionError(uint32_t hresult)
      : std::runtime_error("text conversion failed"), m_hResult(hresult) {}
  uint32_t HResult() const { return m_hResult; }

 private:
  uint32_t m_hResult;
};

// 0x80070000 | low 16 bits for a positive Win32 code, the code itself otherwise.
uint32_t HResultFromWin32(uint32_t error);

class WideString {
 public:
  static constexpr int32_t kMaxLength = 2147483647;

  WideString() = default;
  WideString(const char16_t* text);  // NOLINT: null gives the empty string
  explicit WideString(const char* narrow);  // widened as AssignNarrow does
  explicit WideString(std::u16string_view text);

  WideString& Append(const char16_t* text);
  WideString& AssignNarrow(const char* narrow);
  // The same with the given conversions (a modem reply: ReplyCodePage()).
  WideString& AssignNarrow(const char* narrow, CodePage& codePage);
  int32_t Replace(const char16_t* oldText, const char16_t* newText);
  WideString& TrimRight(const char16_t* set);
  WideString& TrimLeft(const char16_t* set);
  WideString& MakeUpper();
  // Next token at position; position becomes -1 with an empty result at the end.
  WideString Tokenize(const char16_t* delimiters, int32_t& position) const;
  bool Equals(const char* literal) const;

  const char16_t* c_str() const { return m_strUnits.c_str(); }
  int32_t GetLength() const { return static_cast<int32_t>(m_strUnits.size()); }
  bool IsEmpty() const { return m_strUnits.empty(); }
  std::u16string_view View() const { return m_strUnits; }

  friend bool operator==(const WideString& a, const WideString& b) { return a.m_strUnits == b.m_strUnits; }

 private:
  std::u16string m_strUnits;
};

}  // namespace halvorn
