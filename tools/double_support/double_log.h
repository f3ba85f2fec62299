// What the Windows service doubles of the Wine tests share: a log of one line
// per call, kept beside the double's own DLL, and the Remote Access phonebooks
// as Windows places them.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace doubles {

inline wchar_t g_logPath[MAX_PATH];

// From DllMain: the log goes beside this DLL, whatever name the importer
// spelled it with.
inline void PlaceLogBeside(HINSTANCE module, const wchar_t* logName) {
  if (GetModuleFileNameW(module, g_logPath, MAX_PATH) >= MAX_PATH) return;
  wchar_t* slash = std::wcsrchr(g_logPath, L'\\');
  if (slash != nullptr && slash + 1 + std::wcslen(logName) < g_logPath + MAX_PATH)
    std::wcscpy(slash + 1, logName);
}

// The folder the log is in, with its trailing backslash.
inline std::wstring LogFolder() {
  const std::wstring path = g_logPath;
  return path.substr(0, path.rfind(L'\\') + 1);
}

// Appends one line. The file is opened per line, through the system alone, so
// that lines written while the process ends still land.
__attribute__((format(gnu_printf, 1, 2))) inline void Log(const char* format, ...) {
  char line[8192];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line, sizeof line - 1, format, arguments);
  va_end(arguments);
  if (length < 0) return;
  const DWORD size = static_cast<DWORD>(length) < sizeof line - 1 ? length : sizeof line - 2;
  line[size] = '\n';
  HANDLE file = CreateFileW(g_logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, size + 1, &written, nullptr);
  CloseHandle(file);
}

inline std::string Utf8(const wchar_t* text) {
  if (text == nullptr) return "(none)";
  char buffer[2048] = "";
  WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

inline std::wstring Expanded(const wchar_t* text) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ExpandEnvironmentStringsW(text, buffer, MAX_PATH);
  return length != 0 && length <= MAX_PATH ? buffer : L"";
}

// The common application-data folder: %ProgramData%, as from Vista on, or the
// folder DOUBLES_COMMON_APPDATA names (Wine sets %ProgramData% itself).
inline std::wstring CommonAppDataFolder() {
  wchar_t folder[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"DOUBLES_COMMON_APPDATA", folder, MAX_PATH);
  return length != 0 && length < MAX_PATH ? folder : Expanded(L"%ProgramData%");
}

// The all-users phonebook, which the tool's default phonebook is, and the
// current user's own (Windows XP and later keep both).
inline std::wstring AllUsersPhonebookFolder() {
  return CommonAppDataFolder() + L"\\Microsoft\\Network\\Connections\\Pbk";
}
inline std::wstring UserPhonebookFolder() {
  return Expanded(L"%APPDATA%\\Microsoft\\Network\\Connections\\Pbk");
}

}  // namespace doubles
