// Where the all-users phonebook file lives on POSIX: the Windows name of
// Windows XP in English, with the all-users profile folder expanded from the
// environment. (Windows itself asks the shell: environment_win32.h.)
#pragma once

#include <cstdint>
#include <string>

namespace halvorn {

// The fixed, unexpanded name (81 characters).
inline constexpr char16_t kPhonebookFileName[] =
    u"%ALLUSERSPROFILE%\\Application Data\\Microsoft\\Network\\Connections\\Pbk\\rasphone.pbk";

// Room for the expanded name, terminator included, as on Windows.
inline constexpr uint32_t kPhonebookPathChars = 260;

// On POSIX the default phonebook is that file itself, expanded as
// PosixEnvironment expands it: %ALLUSERSPROFILE% from the environment (else
// /var/lib/halvorn), the name's backslashes turned into slashes, and made
// absolute from the current folder. Empty when the expansion fails (a value
// that is not UTF-8, a path too long) or the current folder is unknown: no
// phonebook can be used then.
std::string PosixPhonebookPath();

}  // namespace halvorn
