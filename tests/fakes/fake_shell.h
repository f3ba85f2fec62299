// A shell that keeps count: every object it hands out, every list block it
// allocates, every COM bracket, and a log of the calls made, in order. One
// operation can be made to fail; items are named by itemNames.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dialup/shell.h"

namespace halvorn::testing {

enum class ShellFault {
  kNone,
  kGetAllocator,
  kFolderLocation,
  kDesktopPath,
  kDesktopFolder,
  kBindToFolder,
  kEnumerateItems,
  kAlloc,
  kChangeDirectory,
  kCreateShellLink,
  kSetIdList,
  kSetHotkey,
  kSetShowCommand,
  kQueryPersistFile,
  kSave,
};

struct SavedLink {
  std::u16string fileName;
  std::string target;  // the list's bytes, terminator included
  uint16_t hotkey = 0xFFFF;
  int32_t showCommand = -1;
  bool remember = false;
  std::u16string directory;  // current directory at the save
};

class FakeShell final : public ShellApi {
 public:
  FakeShell();
  ~FakeShell() override;

  // Set up by the test.
  ShellFault fault = ShellFault::kNone;
  std::vector<std::u16string> itemNames;
  std::set<size_t> unreadableItems;  // positions in itemNames whose name cannot be read
  std::u16string desktopPath = u"/home/alice/Desktop";

  // Seen by the test.
  std::vector<std::string> calls;
  int comDepth = 0;
  int comInitializations = 0;
  int liveObjects = 0;
  int badReleases = 0;  // releases of objects already released
  std::set<const void*> liveBlocks;
  int badFrees = 0;  // frees of blocks not allocated here, or freed twice
  std::u16string currentDirectory = u"/start";
  std::vector<SavedLink> saved;

  static std::string FolderListBytes();  // what GetConnectionsFolderLocation returns
  static std::string ItemBytes(const std::u16string& name);  // an enumerated item's list

  // Allocator side, shared by the objects.
  void* AllocateBlock(size_t bytes);
  void FreeBlock(void* block);
  ItemIdList* AllocateList(const std::string& bytes);

  void InitializeCom() override;
  void UninitializeCom() override;
  ShellAllocator* GetAllocator() override;
  ItemIdList* GetConnectionsFolderLocation() override;
  bool GetDesktopPath(char16_t (&path)[kShellTextCapacity]) override;
  ShellFolder* GetDesktopFolder() override;
  bool ChangeCurrentDirectory(const char16_t* path) override;
  ShellLink* CreateShellLink() override;

  // Objects live until the shell goes, so a double release is seen, not a crash.
  template <typename T, typename... Args>
  T* Keep(Args&&... args) {
    auto object = std::make_unique<T>(*this, std::forward<Args>(args)...);
    T* raw = object.get();
    m_objects.push_back(std::move(object));
    ++liveObjects;
    return raw;
  }

  class Object {
   public:
    Object(FakeShell& shell, std::string name) : m_shell(shell), m_name(std::move(name)) {}
    virtual ~Object() = default;
    void ReleaseOnce();

   protected:
    FakeShell& m_shell;
    std::string m_name;
    bool m_bReleased = false;
  };

 private:
  std::vector<std::unique_ptr<Object>> m_objects;
};

}  // namespace halvorn::testing
