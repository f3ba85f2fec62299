// Entry point of the Windows build: picks the Windows backends and hands over.
#include <windows.h>

#include <exception>
#include <vector>

#include "app/commands.h"
#include "app/dispatch.h"
#include "app/runtime_win32.h"
#include "app/services.h"
#include "serial/comm_win32.h"
#include "serial/port_lock_win32.h"
#include "dialup/entry/environment_win32.h"
#include "dialup/entry/phonebook_win32.h"
#include "dialup/entry/process_heap_win32.h"
#include "dialup/shortcut/shell_win32.h"
#include "profile/faithful_profile_writer.h"
#include "profile/profile_writer_win32.h"
#include "text/code_page_win32.h"
#include "text/console_win32.h"

int wmain(int argc, wchar_t** argv) {
  using namespace halvorn;
  static Win32CodePage codePage;
  InstallCodePage(&codePage);
  Win32Console console;
  Win32Runtime runtime;
  // Lives for the whole run: a serial exception refers to it until released.
  Win32Comm comm;
  Win32PortLock portLock;

  try {
    std::vector<WideString> arguments;
    arguments.reserve(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i)
      arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));

    // Dial-up entry: rasapi32 on the default phonebook.
    Win32Phonebook phonebook;
    Win32Environment environment;
    Win32ProcessHeap processHeap;
    Win32ProfileWriter platformProfileWriter;
    FaithfulProfileWriter profileWriter(platformProfileWriter);
    Win32Shell shell;

    Services services{console, comm, portLock, phonebook, environment, processHeap, profileWriter, shell};
    HalvornCommands commands(services);
    return RunHalvorn(arguments, runtime, console, commands);
  } catch (const std::exception&) {
    return 1;
  }
}
