// A shell (shell32.dll) for the Wine tests, loaded in place of Wine's, which
// has no Network Connections folder. It answers the calls halvorn.exe makes
// as Windows documents them: a Network Connections folder whose items are the
// Remote Access phonebooks' entries, a desktop in the folder "Desktop" beside
// this DLL, and a shell link object that saves real shell link files. It
// appends one line per call to shell32.log beside this DLL, and, as the
// process ends, what is still out: references, memory blocks, COM's use.
// SHELL32_DOUBLE_FAIL=<call> makes that one call fail.
#include <windows.h>
#include <objbase.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <string>

#include "../double_support/double_log.h"
#include "ledger.h"
#include "shell_objects.h"

using doubles::Log;
using doubles::Utf8;
using namespace shell_double;

namespace {

constexpr int kCsidlDesktop = 0x00, kCsidlDesktopDirectory = 0x10, kCsidlConnections = 0x31,
              kCsidlCommonAppData = 0x23;
constexpr int kCsidlFlags = 0xFF00;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    doubles::PlaceLogBeside(instance, L"shell32.log");
    OpenLedger();
  } else if (reason == DLL_PROCESS_DETACH) {
    CloseLedger();
  }
  return TRUE;
}

extern "C" HRESULT WINAPI SHGetMalloc(IMalloc** ppMalloc) {
  if (ppMalloc == nullptr) return E_INVALIDARG;
  const HRESULT hr = Fails("SHGetMalloc") ? E_FAIL : S_OK;
  *ppMalloc = hr == S_OK ? NewAllocator() : nullptr;
  Log("SHGetMalloc -> %s", LoggedHr(hr).c_str());
  return hr;
}

extern "C" HRESULT WINAPI SHGetFolderLocation(HWND hwnd, int csidl, HANDLE token, DWORD reserved,
                                              LPITEMIDLIST* ppidl) {
  if (ppidl == nullptr) return E_INVALIDARG;
  *ppidl = nullptr;
  HRESULT hr = E_NOTIMPL;  // this double has no other folder
  if (Fails("SHGetFolderLocation")) {
    hr = E_FAIL;
  } else if (csidl == kCsidlConnections && reserved == 0) {
    *ppidl = static_cast<LPITEMIDLIST>(HandOutConnectionsFolderList());
    hr = *ppidl != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  Log("SHGetFolderLocation window=%s csidl=0x%x token=%s reserved=%lu -> %s list=%s", hwnd ? "given" : "none",
      csidl, token ? "given" : "none", reserved, LoggedHr(hr).c_str(),
      Hex(*ppidl, IdListSize(*ppidl)).c_str());
  return hr;
}

extern "C" HRESULT WINAPI SHGetFolderPathW(HWND hwnd, int csidl, HANDLE token, DWORD flags, LPWSTR path) {
  if (path == nullptr) return E_INVALIDARG;
  path[0] = L'\0';
  HRESULT hr = E_NOTIMPL;  // this double has no other folder
  const int folder = csidl & ~kCsidlFlags;
  std::wstring found;
  // SHELL32_DOUBLE_FAIL=SHGetFolderPathW fails the shortcut's call, not the
  // speed keys' (the common application data).
  if (folder != kCsidlCommonAppData && Fails("SHGetFolderPathW")) {
    hr = E_FAIL;
  } else if (folder == kCsidlCommonAppData) {
    found = doubles::CommonAppDataFolder();
  } else if (folder == kCsidlDesktop || folder == kCsidlDesktopDirectory) {
    found = doubles::LogFolder() + L"Desktop";
    CreateDirectoryW(found.c_str(), nullptr);  // a desktop always exists
  }
  if (!found.empty()) {
    hr = found.size() < MAX_PATH ? S_OK : E_FAIL;
    if (hr == S_OK) found.copy(path, found.size()), path[found.size()] = L'\0';
  }
  Log("SHGetFolderPathW window=%s csidl=0x%x token=%s flags=%lu -> %s path=%s", hwnd ? "given" : "none", csidl,
      token ? "given" : "none", flags, LoggedHr(hr).c_str(), Utf8(path).c_str());
  return hr;
}

extern "C" HRESULT WINAPI SHGetDesktopFolder(IShellFolder** ppshf) {
  if (ppshf == nullptr) return E_INVALIDARG;
  const HRESULT hr = Fails("SHGetDesktopFolder") ? E_FAIL : S_OK;
  *ppshf = hr == S_OK ? NewDesktopFolder() : nullptr;
  Log("SHGetDesktopFolder -> %s", LoggedHr(hr).c_str());
  return hr;
}

// Expands in place when the result fits in cchSrc characters: TRUE in the high
// word and the new length in the low one; otherwise the text stays as it was.
extern "C" DWORD WINAPI DoEnvironmentSubstW(LPWSTR pszSrc, UINT cchSrc) {
  std::wstring expanded(cchSrc, L'\0');
  const DWORD needed = pszSrc != nullptr ? ExpandEnvironmentStringsW(pszSrc, expanded.data(), cchSrc) : 0;
  const bool fits = needed != 0 && needed <= cchSrc;
  if (fits) expanded.copy(pszSrc, needed);
  Log("DoEnvironmentSubstW capacity=%u -> %s text=%s", cchSrc, fits ? "expanded" : "unchanged",
      Utf8(pszSrc).c_str());
  return MAKELONG(fits ? needed - 1 : cchSrc, fits ? TRUE : FALSE);
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  HRESULT hr = CLASS_E_CLASSNOTAVAILABLE;
  if (rclsid == CLSID_ShellLink) {
    IClassFactory* factory = NewShellLinkFactory();
    hr = factory->QueryInterface(riid, ppv);
    factory->Release();
  }
  Log("DllGetClassObject shell link=%s -> %s", rclsid == CLSID_ShellLink ? "yes" : "no", LoggedHr(hr).c_str());
  return hr;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  Log("DllCanUnloadNow -> S_FALSE");
  return S_FALSE;  // halvorn.exe imports it: it stays for the process
}
