// The seam to the desktop shell: its allocator, folders, item enumeration and
// shell link objects, in the shape of the shell's own COM interfaces.
//
// Every object handed out by a Get/Bind/Enumerate/Create/Query call belongs to
// the caller, who gives it back with exactly one Release(). Item identifier
// lists handed out (folder locations, enumerated items) belong to the caller
// too and are given back with ShellAllocator::Free.
#pragma once

#include <cstdint>

namespace halvorn {

// An item identifier list in the shell's ITEMIDLIST layout: a run of items,
// each led by a 16-bit little-endian byte count that includes the count
// itself, ended by a count of 0. Handled as raw bytes.
using ItemIdList = uint8_t;

// Capacity in characters, terminator included, of the shell's path and
// display-name buffers.
inline constexpr uint32_t kShellTextCapacity = 260;

class ShellAllocator {
 public:
  virtual void* Alloc(uint32_t bytes) = 0;  // null when out of memory
  virtual void Free(void* block) = 0;       // null is allowed
  virtual void Release() = 0;

 protected:
  ~ShellAllocator() = default;
};

class ItemEnumerator {
 public:
  // Fetches one item; false at the end or on failure (item stays null then).
  virtual bool Next(ItemIdList*& item) = 0;
  virtual void Release() = 0;

 protected:
  ~ItemEnumerator() = default;
};

class ShellFolder {
 public:
  // The folder at list (absolute when this is the desktop); null on failure.
  virtual ShellFolder* BindToFolder(const ItemIdList* list) = 0;
  // All items, folders and non-folders alike; null on failure.
  virtual ItemEnumerator* EnumerateItems() = 0;
  // The item's name as shown inside this folder, terminated, into name.
  virtual bool GetDisplayName(const ItemIdList* item, char16_t (&name)[kShellTextCapacity]) = 0;
  virtual void Release() = 0;

 protected:
  ~ShellFolder() = default;
};

class PersistFile {
 public:
  // Writes the object to fileName (relative to the current directory);
  // remember makes the object keep that name as its own.
  virtual bool Save(const char16_t* fileName, bool remember) = 0;
  virtual void Release() = 0;

 protected:
  ~PersistFile() = default;
};

class ShellLink {
 public:
  virtual bool SetIdList(const ItemIdList* target) = 0;  // the object keeps a copy
  virtual bool SetHotkey(uint16_t hotkey) = 0;
  virtual bool SetShowCommand(int32_t showCommand) = 0;
  virtual PersistFile* QueryPersistFile() = 0;  // null on failure
  virtual void Release() = 0;

 protected:
  ~ShellLink() = default;
};

inline constexpr int32_t kShowNormal = 1;  // SW_SHOWNORMAL

class ShellApi {
 public:
  virtual ~ShellApi() = default;

  // Brackets one shortcut operation on the calling thread (single-threaded
  // apartment). Every InitializeCom is matched by one UninitializeCom.
  virtual void InitializeCom() = 0;
  virtual void UninitializeCom() = 0;

  virtual ShellAllocator* GetAllocator() = 0;  // null on failure
  // The absolute list of the Network Connections folder; null on failure.
  virtual ItemIdList* GetConnectionsFolderLocation() = 0;
  // The current user's desktop directory, terminated, into path.
  virtual bool GetDesktopPath(char16_t (&path)[kShellTextCapacity]) = 0;
  virtual ShellFolder* GetDesktopFolder() = 0;  // null on failure
  virtual bool ChangeCurrentDirectory(const char16_t* path) = 0;
  virtual ShellLink* CreateShellLink() = 0;  // null on failure
};

}  // namespace halvorn
