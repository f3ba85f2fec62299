// The shell on POSIX, the project's own: a Network Connections folder that
// lists the entries of the phonebook file in file order (items in the format
// of dialup/connection_item.h), the desktop at $XDG_DESKTOP_DIR or else
// $HOME/Desktop, and shell links written as .lnk files.
#pragma once

#include "dialup/shell.h"

namespace halvorn {

class PosixShell final : public ShellApi {
 public:
  void InitializeCom() override {}
  void UninitializeCom() override {}
  ShellAllocator* GetAllocator() override;
  ItemIdList* GetConnectionsFolderLocation() override;
  bool GetDesktopPath(char16_t (&path)[kShellTextCapacity]) override;
  ShellFolder* GetDesktopFolder() override;
  bool ChangeCurrentDirectory(const char16_t* path) override;
  ShellLink* CreateShellLink() override;
};

}  // namespace halvorn
