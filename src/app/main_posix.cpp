// Entry point of the POSIX build: picks the POSIX backends and hands over.
#include <exception>
#include <functional>
#include <vector>

#include "app/commands.h"
#include "app/dispatch.h"
#include "app/runtime_posix.h"
#include "app/services.h"
#include "serial/comm_posix.h"
#include "serial/port_lock_posix.h"
#include "dialup/entry/entry_transaction_posix.h"
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
  // A modem's bytes that are no UTF-8 keep the value the Windows build gives
  // them; arguments and files stay strict.
  static Utf8CodePage replyCodePage(InvalidUtf8::kCodePage1252);
  InstallCodePage(&codePage, &replyCodePage);
  PosixConsole console;
  PosixRuntime runtime;
  // Lives for the whole run: a serial exception refers to it until released.
  PosixComm comm;
  // The UUCP lock of a query run; also removed when the run ends unwinding.
  UucpPortLock portLock;

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
    // The path is made once; a launcher is part of the run's transaction.
    PosixShell shell(phonebook.PhonebookPath(), [&phonebook](std::function<int()> undo) {
      phonebook.Transaction().OnUndo(std::move(undo));
    });

    Services services{console, comm, portLock, phonebook, environment, processHeap, profileWriter, shell};
    HalvornCommands commands(services);
    int32_t status = RunHalvorn(arguments, runtime, console, commands);
    // A `ras` run is one transaction: kept whole when it succeeded, else
    // taken back whole.
    status = phonebook.EndRun(status);
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
