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

// The profile service keeps a file that starts with a UTF-16 byte-order mark
// in UTF-16, and any other, a new one included, in the ANSI code page.
bool IsUtf16File(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  unsigned char mark[2] = {};
  DWORD read = 0;
  const bool whole = ReadFile(file, mark, sizeof mark, &read, nullptr) && read == sizeof mark;
  CloseHandle(file);
  return whole && ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF));
}

// Whether the ANSI code page holds text as it is: the service would store a
// character it lacks as "?" or a look-alike, so that a section would no longer
// be the entry's.
bool FitsAnsiCodePage(const wchar_t* text) {
  if (text == nullptr) return true;
  // WC_ERR_INVALID_CHARS, which headers for Windows before Vista leave out;
  // only Windows 10 and later can have UTF-8 as the ANSI code page.
  constexpr DWORD kRefuseLoneSurrogates = 0x80;
  const UINT codePage = GetACP();
  if (codePage == CP_UTF8)  // takes no default-character report
    return WideCharToMultiByte(CP_UTF8, kRefuseLoneSurrogates, text, -1, nullptr, 0, nullptr, nullptr) != 0;
  BOOL usedDefault = FALSE;
  return WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &usedDefault) != 0 &&
         !usedDefault;
}

}  // namespace

bool Win32ProfileWriter::CanHold(const char16_t* section, const char16_t* key, const char16_t* value,
                                 const char16_t* fileName) {
  return fileName == nullptr || IsUtf16File(FullPathOf(AsWide(fileName))) ||
         (FitsAnsiCodePage(AsWide(section)) && FitsAnsiCodePage(AsWide(key)) && FitsAnsiCodePage(AsWide(value)));
}

bool Win32ProfileWriter::WriteString(const char16_t* section, const char16_t* key,
                                     const char16_t* value, const char16_t* fileName) {
  if (fileName == nullptr || *fileName == u'\0') {
    m_dwError = ERROR_INVALID_PARAMETER;
    return false;
  }
  const std::wstring path = FullPathOf(AsWide(fileName));
  if (!CanHold(section, key, value, reinterpret_cast<const char16_t*>(path.c_str()))) {
    m_dwError = ERROR_NO_UNICODE_TRANSLATION;
    return false;
  }
  if (!WritePrivateProfileStringW(AsWide(section), AsWide(key), AsWide(value), path.c_str())) {
    m_dwError = GetLastError();
    return false;
  }
  m_dwError = 0;
  return true;
}

}  // namespace halvorn
