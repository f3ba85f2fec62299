// The tool's own rules for profile writes, on top of any platform's writer:
// what the file could not hold faithfully is refused, and line ends inside a
// value are stored as spaces so that a reply can never break the file's layout
// (Windows would write them raw).
#pragma once

#include <cstdint>

#include "profile/profile_writer.h"

namespace halvorn {

class FaithfulProfileWriter final : public ProfileWriter {
 public:
  explicit FaithfulProfileWriter(ProfileWriter& inner) : m_rInner(inner) {}

  // Refused with ERROR_INVALID_PARAMETER (87): a key that is empty or only
  // blanks, a key that starts with ";" or "[" (after its blanks) or holds "=",
  // a section with blanks at either end or that holds "]" or a control
  // character, any name that holds CR or LF.
  bool WriteString(const char16_t* section, const char16_t* key, const char16_t* value,
                   const char16_t* fileName) override;
  uint32_t LastError() override;
  bool CanHold(const char16_t* section, const char16_t* key, const char16_t* value,
               const char16_t* fileName) override;

  static bool CanStore(const char16_t* section, const char16_t* key);

 private:
  ProfileWriter& m_rInner;
  bool m_bRefused = false;
};

}  // namespace halvorn
