// The seam to the platform's 8-bit <-> UTF-16 conversions.
//
// The contract is that of MultiByteToWideChar / WideCharToMultiByte called with
// flags 0: lengths count code units including the terminator when the caller
// passes it, a null destination asks for the size needed, and 0 means failure
// with the reason in LastError() (ERROR_INSUFFICIENT_BUFFER when the
// destination is too small). Widening never fails on bad input; narrowing
// substitutes characters the code page lacks.
#pragma once

#include <cstdint>

namespace halvorn {

constexpr uint32_t kThreadAnsiCodePage = 3;  // CP_THREAD_ACP
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorInvalidParameter = 87;

class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual int ToWide(uint32_t codePage, const char* source, int sourceLength, char16_t* target,
                     int targetCapacity) = 0;
  virtual int ToNarrow(uint32_t codePage, const char16_t* source, int sourceLength, char* target,
                       int targetCapacity) = 0;
  virtual uint32_t LastError() = 0;
};

// The conversions every string operation uses; the entry point installs the
// platform's before anything else runs. Modem replies may have conversions of
// their own (replyCodePage); without them they use the same.
CodePage& ActiveCodePage();
CodePage& ReplyCodePage();
void InstallCodePage(CodePage* codePage, CodePage* replyCodePage = nullptr);

// What UTF-8 widening makes of a byte that is no part of a valid sequence.
enum class InvalidUtf8 {
  kReplacementCharacter,  // U+FFFD
  // The character code page 1252 has for the byte (0xA9 gives U+00A9), and
  // U+0080 + n for the five bytes it leaves undefined, as Windows widens them:
  // text from a device that speaks the Windows code page keeps its value.
  kCodePage1252,
};

// UTF-8 stands in for the thread's ANSI code page on POSIX: invalid bytes widen
// as invalid says, lone surrogates narrow to the encoding of U+FFFD.
class Utf8CodePage final : public CodePage {
 public:
  explicit Utf8CodePage(InvalidUtf8 invalid = InvalidUtf8::kReplacementCharacter)
      : m_eInvalid(invalid) {}
  int ToWide(uint32_t codePage, const char* source, int sourceLength, char16_t* target,
             int targetCapacity) override;
  int ToNarrow(uint32_t codePage, const char16_t* source, int sourceLength, char* target,
               int targetCapacity) override;
  uint32_t LastError() override { return m_dwLastError; }

 private:
  InvalidUtf8 m_eInvalid;
  uint32_t m_dwLastError = 0;
};

}  // namespace halvorn
