#pragma once

#include <string>

#include "dialup/entry/environment.h"

namespace halvorn {

// The common application-data folder (SHGetFolderPathW, CSIDL_COMMON_APPDATA)
// + "Microsoft\Network\Connections\Pbk\rasphone.pbk", where Remote Access
// keeps the all-users phonebook: "C:\ProgramData\..." from Vista on, and on
// Windows XP "%ALLUSERSPROFILE%\Application Data\..." in English, under a
// localized folder name ("Anwendungsdaten") elsewhere. 0 with the path, or the
// error code.
uint32_t CommonPhonebookFile(std::wstring& path);

class Win32Environment final : public Environment {
 public:
  uint32_t AllUsersPhonebookFile(char16_t* buffer, uint32_t capacity) override;
};

}  // namespace halvorn
