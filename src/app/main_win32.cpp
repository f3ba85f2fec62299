// Entry point of the Windows build: picks the Windows backends and hands over.
#include <windows.h>

#include <exception>
#include <vector>

#include "app/commands.h"
#include "app/dispatch.h"
#include "app/runtime_win32.h"
#include "app/services.h"
#include "text/code_page_win32.h"
#include "text/console_win32.h"

int wmain(int argc, wchar_t** argv) {
  using namespace halvorn;
  static Win32CodePage codePage;
  InstallCodePage(&codePage);
  Win32Console console;
  Win32Runtime runtime;

  try {
    std::vector<WideString> arguments;
    arguments.reserve(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i)
      arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));

    Services services{console};
    HalvornCommands commands(services);
    return RunHalvorn(arguments, runtime, console, commands);
  } catch (const std::exception&) {
    return 1;
  }
}
