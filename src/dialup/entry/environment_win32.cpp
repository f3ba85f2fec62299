#include "dialup/entry/environment_win32.h"

#include <windows.h>
#include <shlobj.h>

namespace halvorn {

uint32_t CommonPhonebookFile(std::wstring& path) {
  WCHAR folder[MAX_PATH] = {};
  const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  if (FAILED(result) || folder[0] == L'\0')
    return HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : ERROR_PATH_NOT_FOUND;
  path = folder;
  if (path.back() != L'\\') path += L'\\';
  path += L"Microsoft\\Network\\Connections\\Pbk\\rasphone.pbk";
  return 0;
}

uint32_t Win32Environment::AllUsersPhonebookFile(char16_t* buffer, uint32_t capacity) {
  std::wstring path;
  if (const uint32_t error = CommonPhonebookFile(path)) return error;
  if (path.size() + 1 > capacity) return ERROR_FILENAME_EXCED_RANGE;
  path.copy(reinterpret_cast<wchar_t*>(buffer), path.size());
  buffer[path.size()] = u'\0';
  return 0;
}

}  // namespace halvorn
