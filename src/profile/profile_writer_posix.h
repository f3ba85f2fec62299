// The POSIX profile writer: the project's own, since POSIX has none. Names and
// values go to the file as UTF-8, or as UTF-16LE into a file that starts with
// its byte-order mark (see file_encoding.h); the file is edited in place by the INI text
// rules and replaced atomically under a lock (see locked_file_posix.h), so a
// new file holds exactly the bytes Windows writes for the same call.
#pragma once

#include <cstdint>

#include "profile/profile_writer.h"

namespace halvorn {

class PosixProfileWriter final : public ProfileWriter {
 public:
  // LastError() is an errno value.
  bool WriteString(const char16_t* section, const char16_t* key, const char16_t* value,
                   const char16_t* fileName) override;
  uint32_t LastError() override { return m_dwError; }

 private:
  uint32_t m_dwError = 0;
};

}  // namespace halvorn
