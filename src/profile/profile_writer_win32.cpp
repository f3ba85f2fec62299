#include "profile/profile_writer_win32.h"

#include <windows.h>

#include <string>

namespace halvorn {
namespace {

const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// The full path of fileName, or fileName itself when it cannot be resolved.
std::wstring FullPathOf(const wchar_t* fileName) {
  DWORD needed = GetFullPathNameW(fileName, 0, nullptr, nullptr);
  if (needed == 0) return fileName;
  std::wstring full(needed, L'\0');
  DWORD length = GetFullPathNameW(fileName, needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return fileName;
  full.resize(length);
  return full;
}

}  // namespace

bool Win32ProfileWriter::WriteString(const char16_t* section, const char16_t* key,
                                     const char16_t* value, const char16_t* fileName) {
  if (fileName == nullptr || *fileName == u'\0') {
    m_dwError = ERROR_INVALID_PARAMETER;
    return false;
  }
  const std::wstring path = FullPathOf(AsWide(fileName));
  if (!WritePrivateProfileStringW(AsWide(section), AsWide(key), AsWide(value), path.c_str())) {
    m_dwError = GetLastError();
    return false;
  }
  m_dwError = 0;
  return true;
}

}  // namespace halvorn
