// Entry point of the POSIX build: picks the POSIX backends and hands over.
#include <exception>
#include <vector>

#include "app/commands.h"
#include "app/dispatch.h"
#include "app/runtime_posix.h"
#include "app/services.h"
#include "serial/comm_posix.h"
#include "dialup/entry/environment_posix.h"
#include "dialup/entry/phonebook_path.h"
#include "dialup/entry/phonebook_posix.h"
#include "dialup/entry/process_heap_posix.h"
#include "dialup/shortcut/shell_posix.h"
#include "profile/faithful_profile_writer.h"
#include "profile/profile_writer_posix.h"
#include "text/code_page.h"
#include "text/console_posix.h"
#include "text/utf8.h"

int main(int argc, char** argv) {
  using namespace halvorn;
  static Utf8CodePage codePage;
  InstallCodePage(&codePage);
  PosixConsole console;
  PosixRuntime runtime;
  // Lives for the whole run: a serial exception refers to it until released.
  PosixComm comm;

  try {
    std::vector<WideString> arguments;
    arguments.reserve(static_cast<size_t>(argc));
    // The operands are bytes: names and paths keep them all, and text that is
    // not UTF-8 stays recognisable as such (see DecodeUtf8KeepingBytes).
    for (int i = 0; i < argc; ++i) arguments.emplace_back(DecodeUtf8KeepingBytes(argv[i]));

    // Dial-up entry: the project's own phonebook at the all-users path, made
    // dialable by pppd through its files under /etc.
    PosixPhonebook phonebook(PosixPhonebookPath(), "/etc");
    PosixEnvironment environment;
    PosixProcessHeap processHeap;
    PosixProfileWriter platformProfileWriter;
    FaithfulProfileWriter profileWriter(platformProfileWriter);
    PosixShell shell(phonebook.PhonebookPath());  // the path is made once

    Services services{console, comm, phonebook, environment, processHeap, profileWriter, shell};
    HalvornCommands commands(services);
    int32_t status = RunHalvorn(arguments, runtime, console, commands);
    if (phonebook.PppPeerSkipped()) {
      PrintNarrow(console, "PPP peer not written: install the ppp package\n");
      if (status == 0) status = kRasPppNotInstalled;  // an earlier failure says more
    }
    return ToPosixExitStatus(status);
  } catch (const std::exception&) {
    // Out of memory or a broken invariant in the text layer: nothing sensible
    // can be reported beyond a failing status.
    return 1;
  }
}
