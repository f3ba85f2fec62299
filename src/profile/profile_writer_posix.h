// The POSIX profile writer: the project's own, since POSIX has none. Names and
// values go to the file as UTF-8, or as UTF-16LE into a file that starts with
// its byte-order mark (see file_encoding.h); the file is edited in place by the INI text
// rules and replaced atomically under a lock (see locked_file_posix.h). A new
// file holds the lines Windows writes for the same call, ended by LF; a file
// from Windows keeps its CR LF.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

#include "profile/locked_file_posix.h"
#include "profile/profile_writer.h"

namespace halvorn {

// Edits a profile file as UTF-8 text, whatever its own encoding, under the
// rules of UpdateFileLocked; edit gets and changes the text as SetValue does.
int UpdateProfileFile(const std::string& path, const std::function<bool(std::string& text)>& edit,
                      mode_t newFileMode = 0644, FileSecrecy secrecy = FileSecrecy::kPlain);

// Reads a profile file as UTF-8 text, whatever its own encoding, under the
// rules of ReadFileLocked.
int ReadProfileFile(const std::string& path, std::string& text);

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
