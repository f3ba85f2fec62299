// Where the all-users phonebook file lives: the fixed Windows name with the
// all-users profile folder expanded from the environment.
#pragma once

#include <string>

namespace halvorn {

// The fixed, unexpanded name (81 characters).
inline constexpr char16_t kPhonebookFileName[] =
    u"%ALLUSERSPROFILE%\\Application Data\\Microsoft\\Network\\Connections\\Pbk\\rasphone.pbk";

// On POSIX the default phonebook is that file itself: %ALLUSERSPROFILE% from
// the environment (else /var/lib/halvorn), backslashes turned into slashes.
std::string PosixPhonebookPath();

}  // namespace halvorn
