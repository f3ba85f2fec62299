// Why an item list on Linux at all: the shortcut sequence
// (connection_shortcut.h) is one on both platforms, and it hands the link its
// target as an item identifier list, as the Windows shell takes it. This
// stand-in takes the same: it finds the connection by walking the folders'
// items and reads the entry's name back out of the link's target list.
//
// The shell on POSIX, the project's own: a Network Connections folder that
// lists the entries of the phonebook file in file order (items in the format
// of shortcut/connection_item.h), the user's desktop folder, and links to a
// connection saved as desktop launchers that dial it
// (shortcut/desktop_launcher_posix.h).
#pragma once

#include <string>

#include "dialup/entry/phonebook_path.h"
#include "dialup/shortcut/desktop_launcher_posix.h"
#include "dialup/shortcut/shell.h"

namespace halvorn {

class PosixShell final : public ShellApi {
 public:
  // The Network Connections folder lists the entries of this phonebook file.
  // onUndo, when set, gets the step that takes back a launcher once saved.
  explicit PosixShell(std::string phonebookPath = PosixPhonebookPath(), UndoSink onUndo = {})
      : m_strPhonebookPath(std::move(phonebookPath)), m_fnOnUndo(std::move(onUndo)) {}

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
  UndoSink m_fnOnUndo;
};

}  // namespace halvorn
