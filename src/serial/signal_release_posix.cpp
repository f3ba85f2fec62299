#include "serial/signal_release_posix.h"

#include <algorithm>
#include <iterator>

namespace halvorn {

namespace {

constexpr int kReleasingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The port and its lock: room for both, and one spare.
ReleaseStep g_fnSteps[3];
volatile sig_atomic_t g_nSteps = 0;
struct sigaction g_previousActions[std::size(kReleasingSignals)];

void ReleaseAndEnd(int signal) {
  for (sig_atomic_t i = g_nSteps; i-- > 0;) g_fnSteps[i]();
  g_nSteps = 0;
  // SA_RESETHAND put the default action back: the signal, raised again, is
  // delivered as this handler returns.
  raise(signal);
}

void CatchSignals() {
  for (size_t i = 0; i < std::size(kReleasingSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = ReleaseAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : kReleasingSignals) sigaddset(&action.sa_mask, signal);
    sigaction(kReleasingSignals[i], nullptr, &g_previousActions[i]);
    if (g_previousActions[i].sa_handler != SIG_IGN) sigaction(kReleasingSignals[i], &action, nullptr);
  }
}

void RestoreSignals() {
  for (size_t i = 0; i < std::size(kReleasingSignals); ++i)
    sigaction(kReleasingSignals[i], &g_previousActions[i], nullptr);
}

}  // namespace

SignalsHeld::SignalsHeld() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kReleasingSignals) sigaddset(&set, signal);
  sigprocmask(SIG_BLOCK, &set, &m_setPrevious);
}

SignalsHeld::~SignalsHeld() { sigprocmask(SIG_SETMASK, &m_setPrevious, nullptr); }

void RegisterReleaseStep(ReleaseStep step) {
  SignalsHeld held;
  const auto end = g_fnSteps + g_nSteps;
  if (std::find(g_fnSteps, end, step) != end || g_nSteps == static_cast<sig_atomic_t>(std::size(g_fnSteps))) return;
  if (g_nSteps == 0) CatchSignals();
  g_fnSteps[g_nSteps] = step;
  g_nSteps = g_nSteps + 1;
}

void UnregisterReleaseStep(ReleaseStep step) {
  SignalsHeld held;
  const auto end = g_fnSteps + g_nSteps;
  const auto found = std::find(g_fnSteps, end, step);
  if (found == end) return;
  std::copy(found + 1, end, found);
  g_nSteps = g_nSteps - 1;
  if (g_nSteps == 0) RestoreSignals();
}

}  // namespace halvorn
