// The shell on Windows: COM, the shell allocator, the shell's folders and its
// shell link object.
#pragma once

#include "dialup/shortcut/shell.h"

namespace halvorn {

class Win32Shell final : public ShellApi {
 public:
  void InitializeCom() override;
  void UninitializeCom() override;
  ShellAllocator* GetAllocator() override;
  ItemIdList* GetConnectionsFolderLocation() override;
  bool GetDesktopPath(char16_t (&path)[kShellTextCapacity]) override;
  ShellFolder* GetDesktopFolder() override;
  bool ChangeCurrentDirectory(const char16_t* path) override;
  ShellLink* CreateShellLink() override;

 private:
  // Whether the open bracket's CoInitialize succeeded: only then is it undone
  // (a failed one, such as on a thread in another apartment, needs no undoing).
  bool m_bComInitialized = false;
};

}  // namespace halvorn
