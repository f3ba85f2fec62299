#include "shell_objects.h"

#include <shlguid.h>

#include <cstring>
#include <string>
#include <vector>

#include "../double_support/double_log.h"
#include "ledger.h"

namespace shell_double {

namespace {

using doubles::Log;
using doubles::Utf8;

std::string IidName(REFIID riid) {
  if (riid == IID_IUnknown) return "IUnknown";
  if (riid == IID_IShellFolder) return "IShellFolder";
  if (riid == IID_IShellLinkW) return "IShellLinkW";
  if (riid == IID_IPersistFile) return "IPersistFile";
  if (riid == IID_IClassFactory) return "IClassFactory";
  if (riid == IID_IMalloc) return "IMalloc";
  wchar_t text[40];
  StringFromGUID2(riid, text, 40);
  return Utf8(text);
}

// Reference counting shared by the objects. None is ever freed, so that a
// release too many is counted rather than reaching freed memory.
class Counted {
 protected:
  explicit Counted(const char* name) : m_szName(name) { CountReference(1); }
  ULONG AddReference() {
    CountReference(1);
    Log("%s::AddRef -> %ld", m_szName, ++m_nReferences);
    return m_nReferences;
  }
  ULONG ReleaseReference() {
    if (m_nReferences == 0) {
      CountBadRelease();
      Log("%s::Release of an object already released", m_szName);
      return 0;
    }
    CountReference(-1);
    Log("%s::Release -> %ld", m_szName, --m_nReferences);
    return m_nReferences;
  }
  // QueryInterface of an object that offers one interface besides IUnknown.
  template <class Interface>
  HRESULT QueryOne(Interface* self, REFIID own, REFIID riid, void** ppv) {
    const bool offered = riid == IID_IUnknown || riid == own;
    Log("%s::QueryInterface %s -> %s", m_szName, IidName(riid).c_str(), offered ? "ok" : "none");
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = offered ? self : nullptr;
    if (!offered) return E_NOINTERFACE;
    self->AddRef();
    return S_OK;
  }
  HRESULT NotOffered(const char* method) const {
    Log("%s::%s -> not offered by this double", m_szName, method);
    return E_NOTIMPL;
  }
  const char* m_szName;

 private:
  long m_nReferences = 1;
};

#define COUNTED_UNKNOWN                                             \
  STDMETHODIMP_(ULONG) AddRef() override { return AddReference(); } \
  STDMETHODIMP_(ULONG) Release() override { return ReleaseReference(); }

// The shell's allocator is COM's task allocator; this one hands out the same
// memory and keeps it in the ledger.
class Allocator final : public IMalloc, Counted {
 public:
  Allocator() : Counted("IMalloc") {}
  COUNTED_UNKNOWN
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return QueryOne(static_cast<IMalloc*>(this), IID_IMalloc, riid, ppv);
  }
  STDMETHODIMP_(void*) Alloc(SIZE_T cb) override {
    void* block = Fails("Alloc") ? nullptr : HandOutBlock(cb);
    Log("IMalloc::Alloc bytes=%zu -> %s", static_cast<size_t>(cb), block ? "block" : "none");
    return block;
  }
  STDMETHODIMP_(void*) Realloc(void*, SIZE_T) override {
    NotOffered("Realloc");
    return nullptr;
  }
  STDMETHODIMP_(void) Free(void* pv) override {
    if (pv != nullptr && !IsOutstandingBlock(pv)) {
      CountBadFree();
      Log("IMalloc::Free of a block not handed out");
      return;
    }
    Log("IMalloc::Free%s", pv ? "" : " (none)");
    CoTaskMemFree(pv);  // COM's spy strikes it off the ledger
  }
  STDMETHODIMP_(SIZE_T) GetSize(void*) override {
    NotOffered("GetSize");
    return static_cast<SIZE_T>(-1);
  }
  STDMETHODIMP_(int) DidAlloc(void* pv) override { return IsOutstandingBlock(pv) ? 1 : 0; }
  STDMETHODIMP_(void) HeapMinimize() override {}
};

// A connection item: its byte count, a kind byte of 0, a layout version of 1,
// then the entry name in UTF-16LE with its terminator.
constexpr unsigned char kItemKind = 0, kItemVersion = 1;

void* HandOutItem(const std::wstring& name) {
  const size_t nameBytes = (name.size() + 1) * 2, itemBytes = 4 + nameBytes;
  if (itemBytes > 0xFFFF) return nullptr;  // an item counts its bytes in 16 bits
  auto* item = static_cast<unsigned char*>(HandOutBlock(itemBytes + 2));
  if (item == nullptr) return nullptr;
  item[0] = static_cast<unsigned char>(itemBytes), item[1] = static_cast<unsigned char>(itemBytes >> 8);
  item[2] = kItemKind, item[3] = kItemVersion;
  for (size_t i = 0; i <= name.size(); ++i) {
    const wchar_t unit = i < name.size() ? name[i] : L'\0';
    item[4 + 2 * i] = static_cast<unsigned char>(unit), item[5 + 2 * i] = static_cast<unsigned char>(unit >> 8);
  }
  item[itemBytes] = item[itemBytes + 1] = 0;
  return item;
}

// The name of a one-item list made by HandOutItem; false for anything else.
bool ItemName(const void* list, std::wstring& name) {
  const auto* item = static_cast<const unsigned char*>(list);
  if (item == nullptr) return false;
  const size_t itemBytes = item[0] | item[1] << 8;
  if (itemBytes < 6 || itemBytes % 2 != 0 || item[2] != kItemKind || item[3] != kItemVersion ||
      item[itemBytes] != 0 || item[itemBytes + 1] != 0)
    return false;
  name.clear();
  for (size_t at = 4; at + 2 < itemBytes; at += 2) name += static_cast<wchar_t>(item[at] | item[at + 1] << 8);
  return item[itemBytes - 2] == 0 && item[itemBytes - 1] == 0 && name.find(L'\0') == std::wstring::npos;
}

// The Network Connections folder as Windows places it: My Computer, Control
// Panel, Network Connections, each a 20-byte item holding its class GUID.
std::string ConnectionsFolderList() {
  static const GUID kPath[] = {
      {0x20D04FE0, 0x3AEA, 0x1069, {0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D}},
      {0x21EC2020, 0x3AEA, 0x1069, {0xA2, 0xDD, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D}},
      {0x7007ACC7, 0x3202, 0x11D1, {0xAA, 0xD2, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}}};
  static const unsigned char kTypes[] = {0x1F, 0x2E, 0x2E}, kSortIndexes[] = {0x50, 0, 0};
  std::string list;
  for (size_t i = 0; i < 3; ++i) {
    list += {20, 0, static_cast<char>(kTypes[i]), static_cast<char>(kSortIndexes[i])};
    list.append(reinterpret_cast<const char*>(&kPath[i]), sizeof(GUID));  // little-endian fields
  }
  return list.append(2, '\0');
}

// The entries of a phonebook file, in the file's order.
void AddEntries(const std::wstring& folder, std::vector<std::wstring>& names) {
  static wchar_t sections[65536];
  const std::wstring file = folder + L"\\rasphone.pbk";
  const DWORD length = GetPrivateProfileSectionNamesW(sections, 65536, file.c_str());
  for (const wchar_t* name = sections; name < sections + length && *name != L'\0'; name += std::wcslen(name) + 1)
    names.push_back(name);
}

class Enumerator final : public IEnumIDList, Counted {
 public:
  explicit Enumerator(std::vector<std::wstring> names) : Counted("IEnumIDList"), m_vecNames(std::move(names)) {}
  COUNTED_UNKNOWN
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return QueryOne(static_cast<IEnumIDList*>(this), IID_IEnumIDList, riid, ppv);
  }
  STDMETHODIMP Next(ULONG celt, PITEMID_CHILD* rgelt, ULONG* pceltFetched) override {
    if (pceltFetched != nullptr) *pceltFetched = 0;
    if (rgelt == nullptr || (celt != 1 && pceltFetched == nullptr)) return Logged(celt, 0, E_INVALIDARG);
    if (Fails("Next")) return Logged(celt, 0, E_FAIL);
    ULONG fetched = 0;
    for (; fetched < celt && m_nNext < m_vecNames.size(); ++fetched, ++m_nNext) {
      rgelt[fetched] = static_cast<PITEMID_CHILD>(HandOutItem(m_vecNames[m_nNext]));
      if (rgelt[fetched] == nullptr) break;
      Log("IEnumIDList::Next item=%s (%s)", Hex(rgelt[fetched], IdListSize(rgelt[fetched])).c_str(),
          Utf8(m_vecNames[m_nNext].c_str()).c_str());
    }
    if (pceltFetched != nullptr) *pceltFetched = fetched;
    return Logged(celt, fetched, fetched == celt ? S_OK : S_FALSE);
  }
  STDMETHODIMP Skip(ULONG celt) override {
    m_nNext = celt < m_vecNames.size() - m_nNext ? m_nNext + celt : m_vecNames.size();
    Log("IEnumIDList::Skip count=%lu", celt);
    return m_nNext < m_vecNames.size() ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    Log("IEnumIDList::Reset");
    m_nNext = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumIDList** ppenum) override {
    *ppenum = nullptr;
    return NotOffered("Clone");
  }

 private:
  HRESULT Logged(ULONG asked, ULONG fetched, HRESULT hr) {
    Log("IEnumIDList::Next count=%lu -> %s fetched=%lu", asked, LoggedHr(hr).c_str(), fetched);
    return hr;
  }
  std::vector<std::wstring> m_vecNames;
  size_t m_nNext = 0;
};

// The desktop folder, from which only the Network Connections folder can be
// bound, and that folder, whose items are the dial-up entries of the current
// user's phonebook and then those of the all-users phonebook.
class Folder final : public IShellFolder, Counted {
 public:
  explicit Folder(bool connections)
      : Counted(connections ? "IShellFolder(connections)" : "IShellFolder(desktop)"), m_bConnections(connections) {}
  COUNTED_UNKNOWN
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return QueryOne(static_cast<IShellFolder*>(this), IID_IShellFolder, riid, ppv);
  }
  STDMETHODIMP ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE* ppidl, ULONG*) override {
    if (ppidl != nullptr) *ppidl = nullptr;
    return NotOffered("ParseDisplayName");
  }
  STDMETHODIMP EnumObjects(HWND hwnd, SHCONTF flags, IEnumIDList** ppenum) override {
    if (ppenum == nullptr) return E_INVALIDARG;
    *ppenum = nullptr;
    if (!m_bConnections) return NotOffered("EnumObjects");
    HRESULT hr = E_FAIL;
    std::vector<std::wstring> names;
    if (!Fails("EnumObjects")) {
      // Connections are items, not folders: only non-folders are asked for here.
      if (flags & SHCONTF_NONFOLDERS) {
        AddEntries(doubles::UserPhonebookFolder(), names);
        AddEntries(doubles::AllUsersPhonebookFolder(), names);
      }
      *ppenum = new Enumerator(names);
      hr = S_OK;
    }
    Log("%s::EnumObjects window=%s flags=0x%lx -> %s items=%zu", m_szName, hwnd ? "given" : "none",
        static_cast<unsigned long>(flags), LoggedHr(hr).c_str(), names.size());
    return hr;
  }
  STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE pidl, IBindCtx* pbc, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    const std::string list = pidl ? std::string(reinterpret_cast<const char*>(pidl), IdListSize(pidl)) : "";
    HRESULT hr = E_INVALIDARG;
    if (m_bConnections) {
      hr = E_NOTIMPL;  // connections have nothing inside
    } else if (Fails("BindToObject")) {
      hr = E_FAIL;
    } else if (list == ConnectionsFolderList()) {
      auto* folder = new Folder(true);
      hr = folder->QueryInterface(riid, ppv);
      folder->Release();
    }
    Log("%s::BindToObject list=%s bind context=%s iid=%s -> %s", m_szName, Hex(list.data(), list.size()).c_str(),
        pbc ? "given" : "none", IidName(riid).c_str(), LoggedHr(hr).c_str());
    return hr;
  }
  STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) override {
    if (ppv != nullptr) *ppv = nullptr;
    return NotOffered("BindToStorage");
  }
  STDMETHODIMP CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override {
    return NotOffered("CompareIDs");
  }
  STDMETHODIMP CreateViewObject(HWND, REFIID, void** ppv) override {
    if (ppv != nullptr) *ppv = nullptr;
    return NotOffered("CreateViewObject");
  }
  STDMETHODIMP GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override {
    return NotOffered("GetAttributesOf");
  }
  STDMETHODIMP GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void** ppv) override {
    if (ppv != nullptr) *ppv = nullptr;
    return NotOffered("GetUIObjectOf");
  }
  STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD pidl, SHGDNF flags, STRRET* pName) override {
    if (!m_bConnections) return NotOffered("GetDisplayNameOf");
    std::wstring name;
    HRESULT hr = E_INVALIDARG;
    if (Fails("GetDisplayNameOf")) {
      hr = E_FAIL;
    } else if (pName != nullptr && ItemName(pidl, name)) {
      // A wide name in task memory, which StrRetToBufW frees.
      auto* text = static_cast<wchar_t*>(HandOutBlock((name.size() + 1) * sizeof(wchar_t)));
      hr = E_OUTOFMEMORY;
      if (text != nullptr) {
        std::wmemcpy(text, name.c_str(), name.size() + 1);
        pName->uType = STRRET_WSTR;
        pName->pOleStr = text;
        hr = S_OK;
      }
    }
    Log("%s::GetDisplayNameOf flags=0x%lx -> %s name=%s", m_szName, static_cast<unsigned long>(flags),
        LoggedHr(hr).c_str(), hr == S_OK ? Utf8(name.c_str()).c_str() : "(none)");
    return hr;
  }
  STDMETHODIMP SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD* ppidlOut) override {
    if (ppidlOut != nullptr) *ppidlOut = nullptr;
    return NotOffered("SetNameOf");
  }

 private:
  bool m_bConnections;
};

// The shell link object: it keeps its target list, hot key and show command,
// and saves them as a shell link file.
class ShellLink final : public IShellLinkW, public IPersistFile, Counted {
 public:
  ShellLink() : Counted("IShellLinkW") {}
  COUNTED_UNKNOWN
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IShellLinkW) {
      *ppv = static_cast<IShellLinkW*>(this);
    } else if ((riid == IID_IPersistFile || riid == IID_IPersist) && !Fails("QueryInterface(IPersistFile)")) {
      *ppv = static_cast<IPersistFile*>(this);
    }
    Log("IShellLinkW::QueryInterface %s -> %s", IidName(riid).c_str(), *ppv ? "ok" : "none");
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  STDMETHODIMP SetIDList(PCIDLIST_ABSOLUTE pidl) override {
    const size_t size = IdListSize(pidl);
    HRESULT hr = Fails("SetIDList") ? E_FAIL : pidl == nullptr || size > 0xFFFF ? E_INVALIDARG : S_OK;
    if (hr == S_OK) m_strIdList.assign(reinterpret_cast<const char*>(pidl), size);
    Log("IShellLinkW::SetIDList list=%s -> %s", Hex(pidl, size).c_str(), LoggedHr(hr).c_str());
    return hr;
  }
  STDMETHODIMP SetHotkey(WORD wHotkey) override {
    const HRESULT hr = Fails("SetHotkey") ? E_FAIL : S_OK;
    if (hr == S_OK) m_nHotkey = wHotkey;
    Log("IShellLinkW::SetHotkey key=0x%x -> %s", wHotkey, LoggedHr(hr).c_str());
    return hr;
  }
  STDMETHODIMP SetShowCmd(int iShowCmd) override {
    const HRESULT hr = Fails("SetShowCmd") ? E_FAIL : S_OK;
    if (hr == S_OK) m_nShowCmd = iShowCmd;
    Log("IShellLinkW::SetShowCmd command=%d -> %s", iShowCmd, LoggedHr(hr).c_str());
    return hr;
  }
  STDMETHODIMP GetPath(LPWSTR, int, WIN32_FIND_DATAW*, DWORD) override { return NotOffered("GetPath"); }
  STDMETHODIMP GetIDList(PIDLIST_ABSOLUTE* ppidl) override {
    if (ppidl != nullptr) *ppidl = nullptr;
    return NotOffered("GetIDList");
  }
  STDMETHODIMP GetDescription(LPWSTR, int) override { return NotOffered("GetDescription"); }
  STDMETHODIMP SetDescription(LPCWSTR) override { return NotOffered("SetDescription"); }
  STDMETHODIMP GetWorkingDirectory(LPWSTR, int) override { return NotOffered("GetWorkingDirectory"); }
  STDMETHODIMP SetWorkingDirectory(LPCWSTR) override { return NotOffered("SetWorkingDirectory"); }
  STDMETHODIMP GetArguments(LPWSTR, int) override { return NotOffered("GetArguments"); }
  STDMETHODIMP SetArguments(LPCWSTR) override { return NotOffered("SetArguments"); }
  STDMETHODIMP GetHotkey(WORD*) override { return NotOffered("GetHotkey"); }
  STDMETHODIMP GetShowCmd(int*) override { return NotOffered("GetShowCmd"); }
  STDMETHODIMP GetIconLocation(LPWSTR, int, int*) override { return NotOffered("GetIconLocation"); }
  STDMETHODIMP SetIconLocation(LPCWSTR, int) override { return NotOffered("SetIconLocation"); }
  STDMETHODIMP SetRelativePath(LPCWSTR, DWORD) override { return NotOffered("SetRelativePath"); }
  STDMETHODIMP Resolve(HWND, DWORD) override { return NotOffered("Resolve"); }
  STDMETHODIMP SetPath(LPCWSTR) override { return NotOffered("SetPath"); }

  STDMETHODIMP GetClassID(CLSID* pClassID) override {
    if (pClassID == nullptr) return E_INVALIDARG;
    *pClassID = CLSID_ShellLink;
    return S_OK;
  }
  STDMETHODIMP IsDirty() override { return NotOffered("IsDirty"); }
  STDMETHODIMP Load(LPCOLESTR, DWORD) override { return NotOffered("Load"); }
  STDMETHODIMP Save(LPCOLESTR pszFileName, BOOL fRemember) override {
    const std::wstring name = pszFileName != nullptr ? pszFileName : m_strCurrentFile;
    wchar_t path[MAX_PATH] = L"";
    HRESULT hr = Fails("Save") ? E_FAIL : name.empty() ? E_INVALIDARG : Write(name);
    if (hr == S_OK && fRemember) m_strCurrentFile = name;
    GetFullPathNameW(name.c_str(), MAX_PATH, path, nullptr);
    Log("IPersistFile::Save file=%s remember=%d -> %s path=%s", Utf8(pszFileName).c_str(), fRemember,
        LoggedHr(hr).c_str(), Utf8(path).c_str());
    return hr;
  }
  STDMETHODIMP SaveCompleted(LPCOLESTR) override { return NotOffered("SaveCompleted"); }
  STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName) override {
    if (ppszFileName != nullptr) *ppszFileName = nullptr;
    return NotOffered("GetCurFile");
  }

 private:
  // The shell link file format: a 76-byte header, the target's item list
  // behind its 16-bit size, and the terminal block; no other data.
  std::string LinkFileBytes() const {
    const unsigned long kHasLinkTargetIdList = 0x1, kIsUnicode = 0x80;
    std::string bytes;
    const auto put = [&bytes](unsigned long value, int size) {
      for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
    };
    put(0x4C, 4);
    bytes.append(reinterpret_cast<const char*>(&CLSID_ShellLink), sizeof(CLSID));
    put((m_strIdList.empty() ? 0 : kHasLinkTargetIdList) | kIsUnicode, 4);
    put(0, 4);                              // file attributes
    bytes.append(3 * 8 + 4 + 4, '\0');      // three times, file size, icon index
    put(static_cast<unsigned long>(m_nShowCmd), 4);
    put(m_nHotkey, 2);
    bytes.append(2 + 4 + 4, '\0');          // reserved
    if (!m_strIdList.empty()) put(m_strIdList.size(), 2), bytes += m_strIdList;
    put(0, 4);                              // terminal block
    return bytes;
  }

  HRESULT Write(const std::wstring& name) const {
    const std::string bytes = LinkFileBytes();
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    DWORD written = 0;
    const bool whole = WriteFile(file, bytes.data(), bytes.size(), &written, nullptr) && written == bytes.size();
    const DWORD error = GetLastError();
    CloseHandle(file);
    return whole ? S_OK : HRESULT_FROM_WIN32(error != 0 ? error : ERROR_WRITE_FAULT);
  }

  std::string m_strIdList;
  WORD m_nHotkey = 0;
  int m_nShowCmd = SW_SHOWNORMAL;
  std::wstring m_strCurrentFile;
};

class ShellLinkFactory final : public IClassFactory, Counted {
 public:
  ShellLinkFactory() : Counted("IClassFactory(ShellLink)") {}
  COUNTED_UNKNOWN
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return QueryOne(static_cast<IClassFactory*>(this), IID_IClassFactory, riid, ppv);
  }
  STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    HRESULT hr = pUnkOuter != nullptr ? CLASS_E_NOAGGREGATION : Fails("CreateInstance") ? E_OUTOFMEMORY : S_OK;
    if (hr == S_OK) {
      auto* link = new ShellLink;
      hr = link->QueryInterface(riid, ppv);
      link->Release();
    }
    Log("IClassFactory(ShellLink)::CreateInstance outer=%s iid=%s -> %s", pUnkOuter ? "given" : "none",
        IidName(riid).c_str(), LoggedHr(hr).c_str());
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace

IMalloc* NewAllocator() { return new Allocator; }
IShellFolder* NewDesktopFolder() { return new Folder(false); }
IClassFactory* NewShellLinkFactory() { return new ShellLinkFactory; }

void* HandOutConnectionsFolderList() {
  const std::string list = ConnectionsFolderList();
  void* block = HandOutBlock(list.size());
  if (block != nullptr) std::memcpy(block, list.data(), list.size());
  return block;
}

}  // namespace shell_double
