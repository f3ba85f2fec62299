#include "dialup/entry/environment_win32.h"

#include <windows.h>
#include <shellapi.h>

namespace halvorn {

uint32_t Win32Environment::ExpandInPlace(char16_t* buffer, uint32_t capacity) {
  SetLastError(ERROR_SUCCESS);
  const DWORD result = DoEnvironmentSubstW(reinterpret_cast<LPWSTR>(buffer), capacity);
  if (HIWORD(result) != 0) return 0;
  // The call sets no error of its own when the result does not fit.
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace halvorn
