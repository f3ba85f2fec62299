// What a `query` run holds is given back when SIGINT, SIGTERM or SIGHUP ends
// it, as at a normal end: the port's own settings and the port lock's files.
// Each holder registers one async-signal-safe step; the handler runs the
// steps newest first and then ends the process as the signal would have (a
// shell sees 128 + n). A signal the caller ignores (nohup) stays ignored.
#pragma once

#include <signal.h>

namespace halvorn {

using ReleaseStep = void (*)();

// Blocks the three signals while a holder changes what its step gives back.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t m_setPrevious;
};

// The signals are caught while any step is registered.
void RegisterReleaseStep(ReleaseStep step);
void UnregisterReleaseStep(ReleaseStep step);

}  // namespace halvorn
