// A shell that keeps count: every object it hands out, every list block it
// allocates, every COM bracket, and a log of the calls made, in order. The call
// named by `fault` fails; the connections folder holds itemNames.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dialup/shell.h"

namespace halvorn::testing {

struct SavedLink {
  std::u16string fileName, directory;  // directory: the current one at the save
  std::string target;                  // the list's bytes, terminator included
  uint16_t hotkey = 0xFFFF;
  int32_t showCommand = -1;
  bool remember = false;
};

class FakeShell final : public ShellApi {
 public:
  ~FakeShell() override;

  std::string fault;
  std::vector<std::u16string> itemNames;
  std::set<size_t> unreadableItems;  // positions in itemNames whose name cannot be read
  std::u16string desktopPath = u"/home/alice/Desktop", currentDirectory = u"/start";

  std::vector<std::string> calls;
  int comDepth = 0, comInitializations = 0, liveObjects = 0;
  int badReleases = 0, badFrees = 0;  // second releases; frees of blocks not ours or gone
  std::set<const void*> liveBlocks;
  std::vector<SavedLink> saved;

  // Objects live as long as the shell, so a second release is counted, not a crash.
  struct Object {
    virtual ~Object() = default;
  };
  std::vector<std::unique_ptr<Object>> objects;

  static std::string FolderListBytes();  // what GetConnectionsFolderLocation returns
  // Logs the call; true when it is the one made to fail.
  bool Fails(const std::string& call) {
    calls.push_back(call);
    return call == fault;
  }
  void* AllocateBlock(size_t bytes);
  void FreeBlock(void* block);
  ItemIdList* AllocateList(const std::string& bytes);

  void InitializeCom() override { Fails("InitializeCom"), ++comDepth, ++comInitializations; }
  void UninitializeCom() override { Fails("UninitializeCom"), --comDepth; }
  ShellAllocator* GetAllocator() override;
  ItemIdList* GetConnectionsFolderLocation() override;
  bool GetDesktopPath(char16_t (&path)[kShellTextCapacity]) override;
  ShellFolder* GetDesktopFolder() override;
  bool ChangeCurrentDirectory(const char16_t* path) override;
  ShellLink* CreateShellLink() override;
};

}  // namespace halvorn::testing
