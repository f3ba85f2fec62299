// The shell on POSIX, the project's own: a Network Connections folder that
// lists the entries of the phonebook file in file order (items in the format
// of dialup/connection_item.h), the user's desktop folder, and links to a
// connection saved as desktop launchers that dial it
// (dialup/desktop_launcher_posix.h).
#pragma once

#include <string>

#include "dialup/phonebook_path.h"
#include "dialup/shell.h"

namespace halvorn {

class PosixShell final : public ShellApi {
 public:
  // The Network Connections folder lists the entries of this phonebook file.
  explicit PosixShell(std::string phonebookPath = PosixPhonebookPath())
      : m_strPhonebookPath(std::move(phonebookPath)) {}

  void InitializeCom() override {}
  void UninitializeCom() override {}
  ShellAllocator* GetAllocator() override;
  ItemIdList* GetConnectionsFolderLocation() override;
  bool GetDesktopPath(char16_t (&path)[kShellTextCapacity]) override;
  ShellFolder* GetDesktopFolder() override;
  bool ChangeCurrentDirectory(const char16_t* path) override;
  ShellLink* CreateShellLink() override;

 private:
  std::string m_strPhonebookPath;
};

}  // namespace halvorn
