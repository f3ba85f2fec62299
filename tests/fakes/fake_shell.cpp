#include "fakes/fake_shell.h"

#include <algorithm>
#include <cstring>

#include "dialup/shortcut/connection_item.h"
#include "dialup/shortcut/item_id_list.h"

namespace halvorn::testing {

namespace {

// An object the shell hands out: counted alive until its first release.
template <typename Interface>
class Counted : public Interface, public FakeShell::Object {
 public:
  explicit Counted(FakeShell& shell) : m_shell(shell) { ++shell.liveObjects; }
  void Release() override {
    if (m_bReleased) ++m_shell.badReleases;
    else --m_shell.liveObjects, m_bReleased = true;
  }

 protected:
  FakeShell& m_shell;
  bool m_bReleased = false;
};

template <typename T, typename... Args>
T* Keep(FakeShell& shell, Args&&... args) {
  shell.objects.push_back(std::make_unique<T>(shell, std::forward<Args>(args)...));
  return static_cast<T*>(shell.objects.back().get());
}

struct FakeAllocator final : Counted<ShellAllocator> {
  using Counted::Counted;
  void* Alloc(uint32_t bytes) override { return m_shell.AllocateList("", bytes); }
  void Free(void* block) override { if (block != nullptr) m_shell.FreeBlock(block); }
};

struct FakeEnumerator final : Counted<ItemEnumerator> {
  using Counted::Counted;
  size_t m_nNext = 0;
  bool Next(ItemIdList*& item) override {
    const bool more = m_nNext < m_shell.itemNames.size();
    item = more ? m_shell.AllocateList(*ConnectionItemList(m_shell.itemNames[m_nNext++])) : nullptr;
    return more;
  }
};

struct FakeFolder final : Counted<ShellFolder> {
  using Counted::Counted;
  ShellFolder* BindToFolder(const ItemIdList*) override { return Keep<FakeFolder>(m_shell); }
  ItemEnumerator* EnumerateItems() override { return Keep<FakeEnumerator>(m_shell); }
  bool GetDisplayName(const ItemIdList* item, char16_t (&name)[kShellTextCapacity]) override {
    const auto entryName = m_shell.liveBlocks.count(item) != 0 ? ConnectionItemName(item) : std::nullopt;
    if (entryName) std::memcpy(name, entryName->c_str(), (entryName->size() + 1) * sizeof(char16_t));
    return entryName.has_value();
  }
};

struct FakePersistFile final : Counted<PersistFile> {
  FakePersistFile(FakeShell& shell, const SavedLink& state) : Counted(shell), m_state(state) {}
  SavedLink m_state;
  bool Save(const char16_t* fileName, bool) override {
    m_state.fileName = fileName;
    m_state.directory = m_shell.currentDirectory;
    m_shell.saved.push_back(m_state);
    return true;
  }
};

struct FakeLink final : Counted<ShellLink> {
  using Counted::Counted;
  SavedLink m_state;
  bool SetIdList(const ItemIdList* target) override {
    if (target == nullptr) return false;
    m_state.target.assign(reinterpret_cast<const char*>(target), IdListSize(target));
    return true;
  }
  bool SetHotkey(uint16_t) override { return true; }
  bool SetShowCommand(int32_t) override { return true; }
  PersistFile* QueryPersistFile() override { return Keep<FakePersistFile>(m_shell, m_state); }
};

}  // namespace

FakeShell::~FakeShell() {
  for (const void* block : liveBlocks) delete[] static_cast<const uint8_t*>(block);
}

std::string FakeShell::FolderListBytes() { return {"\x04\x00\xAA\xBB\x05\x00\x01\x02\x03\x00\x00", 11}; }

void FakeShell::FreeBlock(void* block) {
  if (liveBlocks.erase(block) == 0) ++badFrees;
  else delete[] static_cast<uint8_t*>(block);
}

// A block of room bytes (never of size 0), or one holding bytes.
ItemIdList* FakeShell::AllocateList(const std::string& bytes, size_t room) {
  auto* block = new uint8_t[std::max(room, bytes.size()) + 1];
  liveBlocks.insert(block);
  return static_cast<ItemIdList*>(std::memcpy(block, bytes.data(), bytes.size()));
}

ShellAllocator* FakeShell::GetAllocator() { return Keep<FakeAllocator>(*this); }
ItemIdList* FakeShell::GetConnectionsFolderLocation() { return AllocateList(FolderListBytes()); }
bool FakeShell::GetDesktopPath(char16_t (&path)[kShellTextCapacity]) {
  path[desktopPath.copy(path, kShellTextCapacity - 1)] = u'\0';
  return true;
}
ShellFolder* FakeShell::GetDesktopFolder() { return Keep<FakeFolder>(*this); }
bool FakeShell::ChangeCurrentDirectory(const char16_t* path) {
  if (!changesDirectory) return false;
  currentDirectory = path;
  return true;
}
ShellLink* FakeShell::CreateShellLink() { return Keep<FakeLink>(*this); }

}  // namespace halvorn::testing
