#include "dialup/shortcut/shell_posix.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "dialup/shortcut/connection_item.h"
#include "dialup/shortcut/desktop_launcher_posix.h"
#include "dialup/shortcut/item_id_list.h"
#include "profile/ini_text.h"
#include "profile/profile_writer_posix.h"
#include "text/utf8.h"

namespace halvorn {

namespace {

// Every list here lives in malloc'd memory, so any allocator frees any list.
ItemIdList* CopyList(const std::string& bytes) {
  auto* list = static_cast<ItemIdList*>(std::malloc(bytes.size()));
  if (list != nullptr) std::memcpy(list, bytes.data(), bytes.size());
  return list;
}

bool SameList(const ItemIdList* list, const std::string& bytes) {
  return list != nullptr && IdListSize(list) == bytes.size() &&
         std::memcmp(list, bytes.data(), bytes.size()) == 0;
}

class PosixAllocator final : public ShellAllocator {
 public:
  void* Alloc(uint32_t bytes) override { return std::malloc(bytes); }
  void Free(void* block) override { std::free(block); }
  void Release() override { delete this; }
};

class PhonebookEnumerator final : public ItemEnumerator {
 public:
  explicit PhonebookEnumerator(std::vector<std::string> names) : m_vecNames(std::move(names)) {}

  bool Next(ItemIdList*& item) override {
    item = nullptr;
    while (m_nNext < m_vecNames.size()) {
      // A section name too long for an item is no connection the shell can show.
      const auto bytes = ConnectionItemList(DecodeUtf8(m_vecNames[m_nNext++]));
      if (!bytes) continue;
      item = CopyList(*bytes);
      return item != nullptr;
    }
    return false;
  }
  void Release() override { delete this; }

 private:
  std::vector<std::string> m_vecNames;
  size_t m_nNext = 0;
};

class ConnectionsFolder final : public ShellFolder {
 public:
  explicit ConnectionsFolder(std::string phonebookPath)
      : m_strPhonebookPath(std::move(phonebookPath)) {}
  ShellFolder* BindToFolder(const ItemIdList*) override { return nullptr; }

  ItemEnumerator* EnumerateItems() override {
    std::string text;
    const int error = ReadProfileFile(m_strPhonebookPath, text);
    if (error == ENOENT) text.clear();  // no phonebook yet: an empty folder
    else if (error != 0) return nullptr;
    return new (std::nothrow)
        PhonebookEnumerator(ini::SectionNames(text));
  }

  bool GetDisplayName(const ItemIdList* item, char16_t (&name)[kShellTextCapacity]) override {
    const auto entryName = ConnectionItemName(item);
    if (!entryName || entryName->size() >= kShellTextCapacity) return false;
    std::memcpy(name, entryName->c_str(), (entryName->size() + 1) * sizeof(char16_t));
    return true;
  }

  void Release() override { delete this; }

 private:
  std::string m_strPhonebookPath;
};

// The desktop knows one folder below it: Network Connections.
class DesktopFolder final : public ShellFolder {
 public:
  explicit DesktopFolder(const std::string& phonebookPath) : m_strPhonebookPath(phonebookPath) {}
  ShellFolder* BindToFolder(const ItemIdList* list) override {
    if (!SameList(list, ConnectionsFolderList())) return nullptr;
    return new (std::nothrow) ConnectionsFolder(m_strPhonebookPath);
  }
  ItemEnumerator* EnumerateItems() override { return nullptr; }
  bool GetDisplayName(const ItemIdList*, char16_t (&)[kShellTextCapacity]) override {
    return false;
  }
  void Release() override { delete this; }

 private:
  std::string m_strPhonebookPath;
};

// One object behind both interfaces, counted like a COM object.
class PosixShellLink final : public ShellLink, public PersistFile {
 public:
  explicit PosixShellLink(const UndoSink& onUndo) : m_fnOnUndo(onUndo) {}

  bool SetIdList(const ItemIdList* target) override {
    const uint32_t size = IdListSize(target);
    if (size == 0) return false;
    m_strTarget.assign(reinterpret_cast<const char*>(target), size);
    return true;
  }
  // A launcher has no hot key and opens no window of its own.
  bool SetHotkey(uint16_t) override { return true; }
  bool SetShowCommand(int32_t) override { return true; }
  PersistFile* QueryPersistFile() override {
    ++m_nReferences;
    return this;
  }

  // A Linux desktop launches no shell link: the link to a connection is saved
  // as a launcher that dials it, NAME.desktop for NAME.lnk.
  bool Save(const char16_t* fileName, bool remember) override {
    if (fileName == nullptr || *fileName == u'\0') return false;
    const auto entryName = TargetEntryName();
    if (!entryName) return false;
    std::string launcherName = EncodeUtf8(fileName);
    if (launcherName.size() > 4 && launcherName.compare(launcherName.size() - 4, 4, ".lnk") == 0)
      launcherName.resize(launcherName.size() - 4);
    if (!SaveLauncher(launcherName + ".desktop", EncodeUtf8(*entryName), m_fnOnUndo)) return false;
    if (remember) m_strFileName = fileName;
    return true;
  }

  void Release() override {
    if (--m_nReferences == 0) delete this;
  }

 private:
  // The entry a target in the Network Connections folder names.
  std::optional<std::u16string> TargetEntryName() const {
    const std::string folder = ConnectionsFolderList();
    const size_t folderItems = folder.size() - 2;  // without its terminator
    if (m_strTarget.size() <= folderItems || m_strTarget.compare(0, folderItems, folder, 0, folderItems) != 0)
      return std::nullopt;
    return ConnectionItemName(reinterpret_cast<const ItemIdList*>(m_strTarget.data() + folderItems));
  }

  UndoSink m_fnOnUndo;
  int m_nReferences = 1;
  std::string m_strTarget;
  std::u16string m_strFileName;
};

}  // namespace

ShellAllocator* PosixShell::GetAllocator() { return new (std::nothrow) PosixAllocator; }

ItemIdList* PosixShell::GetConnectionsFolderLocation() { return CopyList(ConnectionsFolderList()); }

bool PosixShell::GetDesktopPath(char16_t (&path)[kShellTextCapacity]) {
  const auto desktop = UserDesktopFolder();
  if (!desktop) return false;
  const std::u16string wide = DecodeUtf8(*desktop);
  if (wide.size() >= kShellTextCapacity) return false;
  std::memcpy(path, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  return true;
}

ShellFolder* PosixShell::GetDesktopFolder() {
  return new (std::nothrow) DesktopFolder(m_strPhonebookPath);
}

bool PosixShell::ChangeCurrentDirectory(const char16_t* path) {
  return EnterDesktopFolder(EncodeUtf8(path));
}

ShellLink* PosixShell::CreateShellLink() { return new (std::nothrow) PosixShellLink(m_fnOnUndo); }

}  // namespace halvorn
