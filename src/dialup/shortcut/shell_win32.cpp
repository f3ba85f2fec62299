#include "dialup/shortcut/shell_win32.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <new>

namespace halvorn {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the shell's text is UTF-16");

LPCITEMIDLIST AsPidl(const ItemIdList* list) { return reinterpret_cast<LPCITEMIDLIST>(list); }
ItemIdList* AsBytes(LPITEMIDLIST pidl) { return reinterpret_cast<ItemIdList*>(pidl); }

class Win32Allocator final : public ShellAllocator {
 public:
  explicit Win32Allocator(IMalloc* pMalloc) : m_pMalloc(pMalloc) {}
  void* Alloc(uint32_t bytes) override { return m_pMalloc->Alloc(bytes); }
  void Free(void* block) override {
    if (block != nullptr) m_pMalloc->Free(block);
  }
  void Release() override {
    m_pMalloc->Release();
    delete this;
  }

 private:
  IMalloc* m_pMalloc;
};

class Win32Enumerator final : public ItemEnumerator {
 public:
  explicit Win32Enumerator(IEnumIDList* pEnum) : m_pEnum(pEnum) {}
  bool Next(ItemIdList*& item) override {
    LPITEMIDLIST pidl = nullptr;
    ULONG fetched = 0;
    const HRESULT hr = m_pEnum->Next(1, &pidl, &fetched);
    const bool fetchedOne = hr == S_OK && fetched == 1;
    // A list handed back with any other answer is not an item; the shell's
    // allocator is the COM task allocator, so it is freed here.
    if (!fetchedOne) CoTaskMemFree(pidl);
    item = fetchedOne ? AsBytes(pidl) : nullptr;
    return fetchedOne;
  }
  void Release() override {
    m_pEnum->Release();
    delete this;
  }

 private:
  IEnumIDList* m_pEnum;
};

class Win32Folder final : public ShellFolder {
 public:
  explicit Win32Folder(IShellFolder* pFolder) : m_pFolder(pFolder) {}

  ShellFolder* BindToFolder(const ItemIdList* list) override {
    IShellFolder* pBound = nullptr;
    if (FAILED(m_pFolder->BindToObject(AsPidl(list), nullptr, IID_IShellFolder,
                                       reinterpret_cast<void**>(&pBound))) ||
        pBound == nullptr)
      return nullptr;
    return Wrap(pBound);
  }

  ItemEnumerator* EnumerateItems() override {
    IEnumIDList* pEnum = nullptr;
    // S_FALSE with no enumerator means an empty folder: nothing to enumerate.
    if (m_pFolder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &pEnum) != S_OK ||
        pEnum == nullptr)
      return nullptr;
    auto* pWrapped = new (std::nothrow) Win32Enumerator(pEnum);
    if (pWrapped == nullptr) pEnum->Release();
    return pWrapped;
  }

  bool GetDisplayName(const ItemIdList* item, char16_t (&name)[kShellTextCapacity]) override {
    STRRET strret;
    if (FAILED(m_pFolder->GetDisplayNameOf(AsPidl(item), SHGDN_INFOLDER, &strret))) return false;
    // StrRetToBufW frees a name the folder allocated, whatever it returns.
    return SUCCEEDED(StrRetToBufW(&strret, AsPidl(item), reinterpret_cast<LPWSTR>(name),
                                  kShellTextCapacity));
  }

  void Release() override {
    m_pFolder->Release();
    delete this;
  }

  static ShellFolder* Wrap(IShellFolder* pFolder) {
    auto* pWrapped = new (std::nothrow) Win32Folder(pFolder);
    if (pWrapped == nullptr) pFolder->Release();
    return pWrapped;
  }

 private:
  IShellFolder* m_pFolder;
};

class Win32PersistFile final : public PersistFile {
 public:
  explicit Win32PersistFile(IPersistFile* pFile) : m_pFile(pFile) {}
  bool Save(const char16_t* fileName, bool remember) override {
    return SUCCEEDED(m_pFile->Save(reinterpret_cast<LPCOLESTR>(fileName), remember ? TRUE : FALSE));
  }
  void Release() override {
    m_pFile->Release();
    delete this;
  }

 private:
  IPersistFile* m_pFile;
};

class Win32ShellLink final : public ShellLink {
 public:
  explicit Win32ShellLink(IShellLinkW* pLink) : m_pLink(pLink) {}
  bool SetIdList(const ItemIdList* target) override {
    return SUCCEEDED(m_pLink->SetIDList(AsPidl(target)));
  }
  bool SetHotkey(uint16_t hotkey) override { return SUCCEEDED(m_pLink->SetHotkey(hotkey)); }
  bool SetShowCommand(int32_t showCommand) override {
    return SUCCEEDED(m_pLink->SetShowCmd(showCommand));
  }
  PersistFile* QueryPersistFile() override {
    IPersistFile* pFile = nullptr;
    if (FAILED(m_pLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pFile))) ||
        pFile == nullptr)
      return nullptr;
    auto* pWrapped = new (std::nothrow) Win32PersistFile(pFile);
    if (pWrapped == nullptr) pFile->Release();
    return pWrapped;
  }
  void Release() override {
    m_pLink->Release();
    delete this;
  }

 private:
  IShellLinkW* m_pLink;
};

}  // namespace

void Win32Shell::InitializeCom() { m_bComInitialized = SUCCEEDED(CoInitialize(nullptr)); }

void Win32Shell::UninitializeCom() {
  if (m_bComInitialized) CoUninitialize();
  m_bComInitialized = false;
}

ShellAllocator* Win32Shell::GetAllocator() {
  IMalloc* pMalloc = nullptr;
  if (FAILED(SHGetMalloc(&pMalloc)) || pMalloc == nullptr) return nullptr;
  auto* pWrapped = new (std::nothrow) Win32Allocator(pMalloc);
  if (pWrapped == nullptr) pMalloc->Release();
  return pWrapped;
}

ItemIdList* Win32Shell::GetConnectionsFolderLocation() {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(SHGetFolderLocation(nullptr, CSIDL_CONNECTIONS, nullptr, 0, &pidl))) return nullptr;
  return AsBytes(pidl);
}

bool Win32Shell::GetDesktopPath(char16_t (&path)[kShellTextCapacity]) {
  return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT,
                                    reinterpret_cast<LPWSTR>(path)));
}

ShellFolder* Win32Shell::GetDesktopFolder() {
  IShellFolder* pDesktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&pDesktop)) || pDesktop == nullptr) return nullptr;
  return Win32Folder::Wrap(pDesktop);
}

bool Win32Shell::ChangeCurrentDirectory(const char16_t* path) {
  return SetCurrentDirectoryW(reinterpret_cast<LPCWSTR>(path)) != FALSE;
}

ShellLink* Win32Shell::CreateShellLink() {
  IShellLinkW* pLink = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&pLink))) ||
      pLink == nullptr)
    return nullptr;
  auto* pWrapped = new (std::nothrow) Win32ShellLink(pLink);
  if (pWrapped == nullptr) pLink->Release();
  return pWrapped;
}

}  // namespace halvorn
