#include "app/runtime_win32.h"

#include <windows.h>

namespace halvorn {

bool Win32Runtime::Initialize() {
  // The module's instance handle and the process command line are what the
  // framework start-up needs; without them the program cannot go on.
  if (GetModuleHandleW(nullptr) == nullptr) return false;
  if (GetCommandLineW() == nullptr) return false;
  // Serial and file errors are reported through return codes, never through
  // system message boxes that would hang a script.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  return true;
}

}  // namespace halvorn
