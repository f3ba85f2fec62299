#include "text/console_win32.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace halvorn {

Win32Console::Win32Console() : m_hOutput(GetStdHandle(STD_OUTPUT_HANDLE)) {
  DWORD mode = 0;
  m_bIsConsole = m_hOutput != INVALID_HANDLE_VALUE && m_hOutput != nullptr &&
                 GetConsoleMode(m_hOutput, &mode) != FALSE;
}

void Win32Console::WriteWide(std::u16string_view text) {
  if (!m_bIsConsole) {
    WriteBytes(EncodeValidUtf8(text));
    return;
  }
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size(), 8192));
    if (!WriteConsoleW(m_hOutput, reinterpret_cast<const wchar_t*>(text.data()), chunk, &written,
                       nullptr) ||
        written == 0)
      return;
    text.remove_prefix(written);
  }
}

void Win32Console::WriteNarrow(std::string_view text) {
  if (!m_bIsConsole) {
    WriteBytes(text);
    return;
  }
  // 8-bit texts are in the ANSI code page; the console shows them as such.
  const int units = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0);
  if (units <= 0) return;
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                      units);
  WriteWide(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

void Win32Console::WriteBytes(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(m_hOutput, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0)
      return;
    bytes.remove_prefix(written);
  }
}

}  // namespace halvorn
