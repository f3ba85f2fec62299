#include "fakes/fake_shell.h"

#include <cstring>

#include "dialup/connection_item.h"
#include "dialup/item_id_list.h"

namespace halvorn::testing {

namespace {

class FakeAllocator final : public ShellAllocator, public FakeShell::Object {
 public:
  explicit FakeAllocator(FakeShell& shell) : Object(shell, "allocator") {}
  void* Alloc(uint32_t bytes) override {
    m_shell.calls.push_back("Alloc");
    return m_shell.fault == ShellFault::kAlloc ? nullptr : m_shell.AllocateBlock(bytes);
  }
  void Free(void* block) override {
    if (block != nullptr) m_shell.FreeBlock(block);
  }
  void Release() override { ReleaseOnce(); }
};

class FakeEnumerator final : public ItemEnumerator, public FakeShell::Object {
 public:
  explicit FakeEnumerator(FakeShell& shell) : Object(shell, "enumerator") {}
  bool Next(ItemIdList*& item) override {
    m_shell.calls.push_back("Next");
    item = nullptr;
    if (m_nNext >= m_shell.itemNames.size()) return false;
    std::string bytes = FakeShell::ItemBytes(m_shell.itemNames[m_nNext]);
    if (m_shell.unreadableItems.count(m_nNext) != 0) bytes[2] = '?';  // spoil the signature
    ++m_nNext;
    item = m_shell.AllocateList(bytes);
    return true;
  }
  void Release() override { ReleaseOnce(); }

 private:
  size_t m_nNext = 0;
};

class FakeFolder final : public ShellFolder, public FakeShell::Object {
 public:
  FakeFolder(FakeShell& shell, std::string name) : Object(shell, std::move(name)) {}
  ShellFolder* BindToFolder(const ItemIdList* list) override {
    m_shell.calls.push_back("BindToFolder");
    if (m_shell.fault == ShellFault::kBindToFolder || m_name != "desktop" ||
        IdListSize(list) != FakeShell::FolderListBytes().size() ||
        std::memcmp(list, FakeShell::FolderListBytes().data(), IdListSize(list)) != 0)
      return nullptr;
    return m_shell.Keep<FakeFolder>("connections");
  }
  ItemEnumerator* EnumerateItems() override {
    m_shell.calls.push_back("EnumerateItems");
    if (m_shell.fault == ShellFault::kEnumerateItems) return nullptr;
    return m_shell.Keep<FakeEnumerator>();
  }
  bool GetDisplayName(const ItemIdList* item, char16_t (&name)[kShellTextCapacity]) override {
    m_shell.calls.push_back("GetDisplayName");
    if (m_shell.liveBlocks.count(item) == 0) return false;  // not a live item of ours
    const auto entryName = ConnectionItemName(item);
    if (!entryName) return false;
    std::memcpy(name, entryName->c_str(), (entryName->size() + 1) * sizeof(char16_t));
    return true;
  }
  void Release() override { ReleaseOnce(); }
};

class FakeLink;

class FakePersistFile final : public PersistFile, public FakeShell::Object {
 public:
  FakePersistFile(FakeShell& shell, SavedLink state) : Object(shell, "persistfile"), m_state(std::move(state)) {}
  bool Save(const char16_t* fileName, bool remember) override {
    m_shell.calls.push_back("Save");
    if (m_shell.fault == ShellFault::kSave) return false;
    m_state.fileName = fileName;
    m_state.remember = remember;
    m_state.directory = m_shell.currentDirectory;
    m_shell.saved.push_back(m_state);
    return true;
  }
  void Release() override { ReleaseOnce(); }

 private:
  SavedLink m_state;
};

class FakeLink final : public ShellLink, public FakeShell::Object {
 public:
  explicit FakeLink(FakeShell& shell) : Object(shell, "link") {}
  bool SetIdList(const ItemIdList* target) override {
    m_shell.calls.push_back("SetIdList");
    if (m_shell.fault == ShellFault::kSetIdList || target == nullptr) return false;
    m_state.target.assign(reinterpret_cast<const char*>(target), IdListSize(target));
    return true;
  }
  bool SetHotkey(uint16_t hotkey) override {
    m_shell.calls.push_back("SetHotkey");
    m_state.hotkey = hotkey;
    return m_shell.fault != ShellFault::kSetHotkey;
  }
  bool SetShowCommand(int32_t showCommand) override {
    m_shell.calls.push_back("SetShowCommand");
    m_state.showCommand = showCommand;
    return m_shell.fault != ShellFault::kSetShowCommand;
  }
  PersistFile* QueryPersistFile() override {
    m_shell.calls.push_back("QueryPersistFile");
    if (m_shell.fault == ShellFault::kQueryPersistFile) return nullptr;
    return m_shell.Keep<FakePersistFile>(m_state);
  }
  void Release() override { ReleaseOnce(); }

 private:
  SavedLink m_state;
};

}  // namespace

FakeShell::FakeShell() = default;
FakeShell::~FakeShell() {
  for (const void* block : liveBlocks) delete[] static_cast<const uint8_t*>(block);
}

void FakeShell::Object::ReleaseOnce() {
  m_shell.calls.push_back("Release " + m_name);
  if (m_bReleased) {
    ++m_shell.badReleases;
    return;
  }
  m_bReleased = true;
  --m_shell.liveObjects;
}

std::string FakeShell::FolderListBytes() {
  return std::string("\x04\x00\xAA\xBB\x05\x00\x01\x02\x03\x00\x00", 11);
}

std::string FakeShell::ItemBytes(const std::u16string& name) { return *ConnectionItemList(name); }

void* FakeShell::AllocateBlock(size_t bytes) {
  auto* block = new uint8_t[bytes == 0 ? 1 : bytes];
  liveBlocks.insert(block);
  return block;
}

void FakeShell::FreeBlock(void* block) {
  if (liveBlocks.erase(block) == 0) {
    ++badFrees;
    return;
  }
  delete[] static_cast<uint8_t*>(block);
}

ItemIdList* FakeShell::AllocateList(const std::string& bytes) {
  auto* list = static_cast<ItemIdList*>(AllocateBlock(bytes.size()));
  std::memcpy(list, bytes.data(), bytes.size());
  return list;
}

void FakeShell::InitializeCom() {
  calls.push_back("InitializeCom");
  ++comDepth;
  ++comInitializations;
}

void FakeShell::UninitializeCom() {
  calls.push_back("UninitializeCom");
  --comDepth;
}

ShellAllocator* FakeShell::GetAllocator() {
  calls.push_back("GetAllocator");
  return fault == ShellFault::kGetAllocator ? nullptr : Keep<FakeAllocator>();
}

ItemIdList* FakeShell::GetConnectionsFolderLocation() {
  calls.push_back("GetConnectionsFolderLocation");
  return fault == ShellFault::kFolderLocation ? nullptr : AllocateList(FolderListBytes());
}

bool FakeShell::GetDesktopPath(char16_t (&path)[kShellTextCapacity]) {
  calls.push_back("GetDesktopPath");
  if (fault == ShellFault::kDesktopPath || desktopPath.size() >= kShellTextCapacity) return false;
  std::memcpy(path, desktopPath.c_str(), (desktopPath.size() + 1) * sizeof(char16_t));
  return true;
}

ShellFolder* FakeShell::GetDesktopFolder() {
  calls.push_back("GetDesktopFolder");
  return fault == ShellFault::kDesktopFolder ? nullptr : Keep<FakeFolder>("desktop");
}

bool FakeShell::ChangeCurrentDirectory(const char16_t* path) {
  calls.push_back("ChangeCurrentDirectory");
  if (fault == ShellFault::kChangeDirectory) return false;
  currentDirectory = path;
  return true;
}

ShellLink* FakeShell::CreateShellLink() {
  calls.push_back("CreateShellLink");
  return fault == ShellFault::kCreateShellLink ? nullptr : Keep<FakeLink>();
}

}  // namespace halvorn::testing
