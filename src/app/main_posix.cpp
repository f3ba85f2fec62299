// Entry point of the POSIX build: picks the POSIX backends and hands over.
#include <exception>
#include <vector>

#include "app/commands.h"
#include "app/dispatch.h"
#include "app/runtime_posix.h"
#include "app/services.h"
#include "text/code_page.h"
#include "text/console_posix.h"

int main(int argc, char** argv) {
  using namespace halvorn;
  static Utf8CodePage codePage;
  InstallCodePage(&codePage);
  PosixConsole console;
  PosixRuntime runtime;

  try {
    std::vector<WideString> arguments;
    arguments.reserve(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);

    Services services{console};
    HalvornCommands commands(services);
    return ToPosixExitStatus(RunHalvorn(arguments, runtime, console, commands));
  } catch (const std::exception&) {
    // Out of memory or a broken invariant in the text layer: nothing sensible
    // can be reported beyond a failing status.
    return 1;
  }
}
