#include "dialup/shell_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "dialup/connection_item.h"
#include "dialup/item_id_list.h"
#include "dialup/phonebook_path.h"
#include "dialup/shell_link_file.h"
#include "profile/file_encoding.h"
#include "profile/ini_text.h"
#include "profile/locked_file_posix.h"
#include "text/code_page.h"
#include "text/console.h"

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

std::u16string DecodeUtf8(const std::string& text) {
  if (text.empty()) return {};
  Utf8CodePage utf8;
  const int length = static_cast<int>(text.size());
  std::u16string wide(static_cast<size_t>(utf8.ToWide(kThreadAnsiCodePage, text.data(), length,
                                                      nullptr, 0)),
                      u'\0');
  utf8.ToWide(kThreadAnsiCodePage, text.data(), length, wide.data(),
              static_cast<int>(wide.size()));
  return wide;
}

class PosixAllocator final : public ShellAllocator {
 public:
  void* Alloc(uint32_t bytes) override { return std::malloc(bytes); }
  void Free(void* block) override { std::free(block); }
  void Release() override { delete this; }
};

class PhonebookEnumerator final : public ItemEnumerator {
 public:
  explicit PhonebookEnumerator(std::vector<std::string> names) : m_names(std::move(names)) {}

  bool Next(ItemIdList*& item) override {
    item = nullptr;
    while (m_nNext < m_names.size()) {
      // A section name too long for an item is no connection the shell can show.
      const auto bytes = ConnectionItemList(DecodeUtf8(m_names[m_nNext++]));
      if (!bytes) continue;
      item = CopyList(*bytes);
      return item != nullptr;
    }
    return false;
  }
  void Release() override { delete this; }

 private:
  std::vector<std::string> m_names;
  size_t m_nNext = 0;
};

class ConnectionsFolder final : public ShellFolder {
 public:
  ShellFolder* BindToFolder(const ItemIdList*) override { return nullptr; }

  ItemEnumerator* EnumerateItems() override {
    std::string text;
    const int error = ReadFileLocked(PosixPhonebookPath(), text);
    if (error == ENOENT) text.clear();  // no phonebook yet: an empty folder
    else if (error != 0) return nullptr;
    return new (std::nothrow)
        PhonebookEnumerator(ini::SectionNames(ini::TextOfFile(std::move(text))));
  }

  bool GetDisplayName(const ItemIdList* item, char16_t (&name)[kShellTextCapacity]) override {
    const auto entryName = ConnectionItemName(item);
    if (!entryName || entryName->size() >= kShellTextCapacity) return false;
    std::memcpy(name, entryName->c_str(), (entryName->size() + 1) * sizeof(char16_t));
    return true;
  }

  void Release() override { delete this; }
};

// The desktop knows one folder below it: Network Connections.
class DesktopFolder final : public ShellFolder {
 public:
  ShellFolder* BindToFolder(const ItemIdList* list) override {
    if (!SameList(list, ConnectionsFolderList())) return nullptr;
    return new (std::nothrow) ConnectionsFolder;
  }
  ItemEnumerator* EnumerateItems() override { return nullptr; }
  bool GetDisplayName(const ItemIdList*, char16_t (&)[kShellTextCapacity]) override {
    return false;
  }
  void Release() override { delete this; }
};

// Writes bytes to path as the profile files are written: whole or not at all,
// under the folder's lock, never into a device, FIFO or planted link, and as
// mode 0644 (a link is as readable as any file, writable by its owner only).
bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  return UpdateFileLocked(
             path,
             [&](std::string& text) {
               text = bytes;
               return true;
             },
             0644) == 0;
}

// One object behind both interfaces, counted like a COM object.
class PosixShellLink final : public ShellLink, public PersistFile {
 public:
  bool SetIdList(const ItemIdList* target) override {
    const uint32_t size = IdListSize(target);
    if (size == 0) return false;
    m_target.assign(reinterpret_cast<const char*>(target), size);
    return true;
  }
  bool SetHotkey(uint16_t hotkey) override {
    m_wHotkey = hotkey;
    return true;
  }
  bool SetShowCommand(int32_t showCommand) override {
    m_nShowCommand = showCommand;
    return true;
  }
  PersistFile* QueryPersistFile() override {
    ++m_nReferences;
    return this;
  }

  bool Save(const char16_t* fileName, bool remember) override {
    if (m_target.empty() || fileName == nullptr || *fileName == u'\0') return false;
    const auto bytes = BuildShellLinkFile(reinterpret_cast<const ItemIdList*>(m_target.data()),
                                          m_wHotkey, m_nShowCommand);
    if (!bytes || !WriteFileAtomically(EncodeUtf8(fileName), *bytes)) return false;
    if (remember) m_fileName = fileName;
    return true;
  }

  void Release() override {
    if (--m_nReferences == 0) delete this;
  }

 private:
  int m_nReferences = 1;
  std::string m_target;
  uint16_t m_wHotkey = 0;
  int32_t m_nShowCommand = kShowNormal;
  std::u16string m_fileName;
};

}  // namespace

ShellAllocator* PosixShell::GetAllocator() { return new (std::nothrow) PosixAllocator; }

ItemIdList* PosixShell::GetConnectionsFolderLocation() { return CopyList(ConnectionsFolderList()); }

bool PosixShell::GetDesktopPath(char16_t (&path)[kShellTextCapacity]) {
  std::string desktop;
  if (const char* xdg = std::getenv("XDG_DESKTOP_DIR"); xdg != nullptr && *xdg != '\0') {
    desktop = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    desktop = std::string(home) + "/Desktop";
  } else {
    return false;
  }
  const std::u16string wide = DecodeUtf8(desktop);
  if (wide.size() >= kShellTextCapacity) return false;
  std::memcpy(path, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  return true;
}

ShellFolder* PosixShell::GetDesktopFolder() { return new (std::nothrow) DesktopFolder; }

bool PosixShell::ChangeCurrentDirectory(const char16_t* path) {
  return chdir(EncodeUtf8(path).c_str()) == 0;
}

ShellLink* PosixShell::CreateShellLink() { return new (std::nothrow) PosixShellLink; }

}  // namespace halvorn
