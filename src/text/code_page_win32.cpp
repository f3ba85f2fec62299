#include "text/code_page_win32.h"

#include <windows.h>

namespace halvorn {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

int Win32CodePage::ToWide(uint32_t codePage, const char* source, int sourceLength,
                          char16_t* target, int targetCapacity) {
  return MultiByteToWideChar(codePage, 0, source, sourceLength, reinterpret_cast<wchar_t*>(target),
                             targetCapacity);
}

int Win32CodePage::ToNarrow(uint32_t codePage, const char16_t* source, int sourceLength,
                            char* target, int targetCapacity) {
  return WideCharToMultiByte(codePage, 0, reinterpret_cast<const wchar_t*>(source), sourceLength,
                             target, targetCapacity, nullptr, nullptr);
}

uint32_t Win32CodePage::LastError() { return GetLastError(); }

}  // namespace halvorn
