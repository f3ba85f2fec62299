// The Windows profile writer: WritePrivateProfileStringW.
#pragma once

#include <cstdint>

#include "profile/profile_writer.h"

namespace halvorn {

class Win32ProfileWriter final : public ProfileWriter {
 public:
  // A relative file name is made a full path in the current folder first:
  // Windows would put a bare name into the Windows folder.
  bool WriteString(const char16_t* section, const char16_t* key, const char16_t* value,
                   const char16_t* fileName) override;
  uint32_t LastError() override { return m_dwError; }
  // False for a name or value the file's code page lacks (a file without a
  // UTF-16 byte-order mark is kept in the ANSI code page).
  bool CanHold(const char16_t* section, const char16_t* key, const char16_t* value,
               const char16_t* fileName) override;

 private:
  uint32_t m_dwError = 0;
};

}  // namespace halvorn
