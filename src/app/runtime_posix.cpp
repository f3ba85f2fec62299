#include "app/runtime_posix.h"

#include <csignal>

namespace halvorn {

bool PosixRuntime::Initialize() {
  // A reader that goes away must not kill a run half-way through its report
  // writes; a failed write to stdout is simply lost.
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}

}  // namespace halvorn
