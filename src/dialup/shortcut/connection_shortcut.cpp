#include "dialup/shortcut/connection_shortcut.h"

#include <string_view>

#include "dialup/shortcut/item_id_list.h"
#include "text/console.h"

namespace halvorn {

namespace {

constexpr std::string_view kShortcutError = "Shortcut creation error!\n";

// COM stays open for the whole operation, whatever way it ends.
class ComScope {
 public:
  explicit ComScope(ShellApi& shell) : m_rShell(shell) { m_rShell.InitializeCom(); }
  ~ComScope() { m_rShell.UninitializeCom(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  ShellApi& m_rShell;
};

// What the operation holds; given back in one place, in a fixed order, on
// every way out.
struct ShortcutObjects {
  ShellAllocator* pAllocator = nullptr;
  ItemIdList* pFolderList = nullptr;
  ShellFolder* pDesktop = nullptr;
  ShellFolder* pConnections = nullptr;
  ItemEnumerator* pEnumerator = nullptr;
  ItemIdList* pFoundItem = nullptr;
  ItemIdList* pCombined = nullptr;

  ShortcutObjects() = default;
  ShortcutObjects(const ShortcutObjects&) = delete;
  ShortcutObjects& operator=(const ShortcutObjects&) = delete;

  ~ShortcutObjects() {
    if (pEnumerator != nullptr) pEnumerator->Release();
    if (pAllocator != nullptr) {
      // The combined list may be the folder's list itself: free that once.
      const bool combinedIsOwn = pCombined != pFolderList;
      pAllocator->Free(pFoundItem);
      pAllocator->Free(pFolderList);
      if (combinedIsOwn) pAllocator->Free(pCombined);
      pAllocator->Release();
    }
    if (pConnections != nullptr) pConnections->Release();
    if (pDesktop != nullptr) pDesktop->Release();
  }
};

// Creates the link object, gives it its target, no hot key and a normal
// window, and saves it; the object is released on every way out.
bool WriteShellLink(ShellApi& shell, const char16_t* linkFileName, const ItemIdList* target) {
  ShellLink* pLink = shell.CreateShellLink();
  if (pLink == nullptr) return false;
  PersistFile* pFile = nullptr;
  if (pLink->SetIdList(target) && pLink->SetHotkey(0) && pLink->SetShowCommand(kShowNormal))
    pFile = pLink->QueryPersistFile();
  const bool saved = pFile != nullptr && pFile->Save(linkFileName, true);
  if (pFile != nullptr) pFile->Release();
  pLink->Release();
  return saved;
}

// The first item whose in-folder name equals entryName exactly
// (whole string, letter case counts). Every other item is freed at once.
ItemIdList* FindItem(ShortcutObjects& objects, std::u16string_view entryName) {
  char16_t displayName[kShellTextCapacity];
  ItemIdList* pItem = nullptr;
  while (objects.pEnumerator->Next(pItem)) {
    // An item whose name cannot be read is not the one asked for.
    if (objects.pConnections->GetDisplayName(pItem, displayName) &&
        std::u16string_view(displayName) == entryName)
      return pItem;
    objects.pAllocator->Free(pItem);
    pItem = nullptr;
  }
  return nullptr;
}

// Finds the item and saves the link to it from the desktop. False when no
// link could be attempted: a look-up failed or no item matched, so no
// shortcut may point anywhere else.
bool LocateAndSave(ShellApi& shell, Console& console, ShortcutObjects& objects,
                   const char16_t* linkFileName, const char16_t* entryName) {
  objects.pAllocator = shell.GetAllocator();
  if (objects.pAllocator == nullptr) return false;

  char16_t desktopPath[kShellTextCapacity];
  objects.pFolderList = shell.GetConnectionsFolderLocation();
  if (objects.pFolderList == nullptr || !shell.GetDesktopPath(desktopPath)) return false;

  objects.pDesktop = shell.GetDesktopFolder();
  if (objects.pDesktop == nullptr) return false;
  objects.pConnections = objects.pDesktop->BindToFolder(objects.pFolderList);
  if (objects.pConnections == nullptr) return false;

  objects.pEnumerator = objects.pConnections->EnumerateItems();
  if (objects.pEnumerator == nullptr) return false;
  objects.pFoundItem = FindItem(objects, entryName);
  if (objects.pFoundItem == nullptr) return false;

  objects.pCombined = CombineIdLists(*objects.pAllocator, objects.pFolderList, objects.pFoundItem);
  if (objects.pCombined == nullptr) return false;

  // The link is saved under its bare name, so it lands in the current
  // directory; that stays the desktop afterwards.
  if (!shell.ChangeCurrentDirectory(desktopPath)) return false;

  SaveShellLink(shell, console, linkFileName, objects.pCombined);
  return true;
}

}  // namespace

void CreateConnectionShortcut(ShellApi& shell, Console& console, const char16_t* linkFileName,
                              const char16_t* entryName) {
  ComScope com(shell);
  ShortcutObjects objects;
  if (!LocateAndSave(shell, console, objects, linkFileName, entryName))
    PrintNarrow(console, kShortcutError);
  PrintNarrow(console, "\n");
}

bool SaveShellLink(ShellApi& shell, Console& console, const char16_t* linkFileName,
                   const ItemIdList* target) {
  // Whichever step fails, no link was written: a run that asked for one says
  // so rather than end as if it had been made.
  const bool saved = WriteShellLink(shell, linkFileName, target);
  if (!saved) PrintNarrow(console, kShortcutError);
  return saved;
}

}  // namespace halvorn
