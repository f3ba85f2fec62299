// A shell that keeps count of the objects it hands out, the list blocks it
// allocates and the COM brackets, so that a leak or a double release shows.
// Its calls succeed, but a change of directory when changesDirectory is
// false; the connections folder holds itemNames.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dialup/shortcut/shell.h"

namespace halvorn::testing {

struct SavedLink {
  std::u16string fileName, directory;  // directory: the current one at the save
  std::string target;                  // the list's bytes, terminator included
};

class FakeShell final : public ShellApi {
 public:
  ~FakeShell() override;

  bool changesDirectory = true;
  std::vector<std::u16string> itemNames;
  std::u16string desktopPath = u"/home/alice/Desktop", currentDirectory = u"/start";

  int comDepth = 0, liveObjects = 0, badReleases = 0, badFrees = 0;  // bad: twice released; not ours or gone
  std::set<const void*> liveBlocks;
  std::vector<SavedLink> saved;

  // Objects live as long as the shell, so a second release is counted, not a crash.
  struct Object { virtual ~Object() = default; };
  std::vector<std::unique_ptr<Object>> objects;

  static std::string FolderListBytes();  // what GetConnectionsFolderLocation returns
  void FreeBlock(void* block);
  ItemIdList* AllocateList(const std::string& bytes, size_t room = 0);

  void InitializeCom() override { ++comDepth; }
  void UninitializeCom() override { --comDepth; }
  ShellAllocator* GetAllocator() override;
  ItemIdList* GetConnectionsFolderLocation() override;
  bool GetDesktopPath(char16_t (&path)[kShellTextCapacity]) override;
  ShellFolder* GetDesktopFolder() override;
  bool ChangeCurrentDirectory(const char16_t* path) override;
  ShellLink* CreateShellLink() override;
};

}  // namespace halvorn::testing
