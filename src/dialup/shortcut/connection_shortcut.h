// Room dialup/shortcut: the desktop shortcut to a connection. The shortcut
// sequence (this file) walks the shell seam (shell.h, with the identifier
// lists of item_id_list.h); Windows' shell backs it, and on POSIX a stand-in
// shell whose connections are items of connection_item.h and whose saved link
// is a desktop launcher (desktop_launcher_posix.h).
//
// Puts a shortcut to a dial-up connection on the desktop.
#pragma once

#include "dialup/shortcut/shell.h"

namespace halvorn {

class Console;

// Saves linkFileName on the desktop, pointing at the Network Connections item
// whose display name is exactly entryName. Prints one line feed when done,
// preceded by "Shortcut creation error!\n" when no link was saved, whatever
// step failed.
void CreateConnectionShortcut(ShellApi& shell, Console& console, const char16_t* linkFileName,
                              const char16_t* entryName);

// Creates a shell link to target and saves it as linkFileName in the current
// directory; prints "Shortcut creation error!\n" when any step fails, from
// creating the link object to saving it. True when the file was saved.
bool SaveShellLink(ShellApi& shell, Console& console, const char16_t* linkFileName,
                   const ItemIdList* target);

}  // namespace halvorn
