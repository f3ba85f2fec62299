// Puts a shortcut to a dial-up connection on the desktop.
#pragma once

namespace halvorn {

class Console;
class ShellApi;  // the shell seam: dialup/shell.h

// Saves linkFileName on the desktop, pointing at the Network Connections item
// whose display name is entryName. Reports problems on the console only.
void CreateConnectionShortcut(ShellApi& shell, Console& console, const char16_t* linkFileName,
                              const char16_t* entryName);

}  // namespace halvorn
