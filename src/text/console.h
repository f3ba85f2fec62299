// The seam to standard output. Wide lines and 8-bit texts go through the same
// object, so that they come out in the order they were printed.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "text/utf8.h"

namespace halvorn {

class Console {
 public:
  virtual ~Console() = default;
  virtual void WriteWide(std::u16string_view text) = 0;
  virtual void WriteNarrow(std::string_view text) = 0;
};

// One argument of a wide format: a signed decimal (%d) or a wide text (%s).
class FormatArg {
 public:
  FormatArg(int32_t number) : m_bIsNumber(true), m_nNumber(number) {}  // NOLINT
  FormatArg(const char16_t* text) : m_pszText(text) {}                 // NOLINT

  bool IsNumber() const { return m_bIsNumber; }
  int32_t Number() const { return m_nNumber; }
  const char16_t* Text() const { return m_pszText; }

 private:
  bool m_bIsNumber = false;
  int32_t m_nNumber = 0;
  const char16_t* m_pszText = nullptr;
};

// The printf subset the tool's messages use: %d, %s and %%. A missing or
// mismatched argument prints nothing for its directive (a null text as "(null)").
std::u16string FormatWide(std::u16string_view format, std::initializer_list<FormatArg> args);

inline void PrintWide(Console& console, std::u16string_view format,
                      std::initializer_list<FormatArg> args = {}) {
  console.WriteWide(FormatWide(format, args));
}

inline void PrintNarrow(Console& console, std::string_view text) { console.WriteNarrow(text); }

// Writes everything to a file descriptor-like sink; used by the POSIX console
// and by the Windows one when output is redirected.
class Utf8Console : public Console {
 public:
  void WriteWide(std::u16string_view text) override { WriteBytes(EncodeValidUtf8(text)); }
  void WriteNarrow(std::string_view text) override { WriteBytes(text); }

 protected:
  virtual void WriteBytes(std::string_view bytes) = 0;
};

}  // namespace halvorn
