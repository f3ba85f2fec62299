// The shell on POSIX, the project's own: a Network Connections folder that
// lists the entries of the phonebook file in file order (items in the format
// of dialup/connection_item.h), the user's desktop folder, and links to a
// connection saved as desktop launchers that dial it
// (dialup/desktop_launcher_posix.h).
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
