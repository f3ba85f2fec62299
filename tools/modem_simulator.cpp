// A Hayes modem behind a pseudo-terminal, for end-to-end tests of the query
// command and of dial-up connections. It prints the slave's path, then
// answers every command line at the speed the other side has set, or
// misbehaves as its options say; with --answer a dialled call reaches a
// program as the far end. Run with --help for the options.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "modem_simulator/options.h"
#include "modem_simulator/port_files_linux.h"
#include "modem_simulator/simulator_linux.h"

namespace modem_simulator {
namespace {

volatile sig_atomic_t g_nStopSignal = 0;

void OnStopSignal(int nSignal) { g_nStopSignal = nSignal; }

int Main(int argc, char** argv) {
  SOptions options;
  std::string strError;
  if (!ParseOptions(argc, argv, options, strError)) {
    if (strError.empty()) {
      std::fputs(UsageText(), stdout);
      return 0;
    }
    std::fprintf(stderr, "modem_simulator: %s\n%s", strError.c_str(), UsageText());
    return 2;
  }

  // The stop signals are only taken while waiting, so a line is never
  // handled halfway.
  sigset_t setStop;
  sigemptyset(&setStop);
  for (int nSignal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&setStop, nSignal);
    struct sigaction action{};
    action.sa_handler = OnStopSignal;
    sigaction(nSignal, &action, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);
  sigset_t setWaitMask;
  sigprocmask(SIG_BLOCK, &setStop, &setWaitMask);

  CLog log;
  if (!log.Open(options.m_strLogPath)) {
    std::fprintf(stderr, "modem_simulator: cannot open log %s: %s\n", options.m_strLogPath.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::string strLinkPath = options.m_strLinkPath;
  std::string strReadyFile = options.m_strReadyFile;
  CModemSimulator simulator(std::move(options), log);
  if (!simulator.LoadProfile()) {
    std::fprintf(stderr, "modem_simulator: the profile is no valid command line\n");
    return 2;
  }
  if (!simulator.Create(strError)) {
    std::fprintf(stderr, "modem_simulator: %s\n", strError.c_str());
    return 1;
  }
  const std::string& strSlave = simulator.SlavePath();
  if (!strLinkPath.empty() && !MakeLink(strLinkPath, strSlave)) {
    std::fprintf(stderr, "modem_simulator: cannot link %s: %s\n", strLinkPath.c_str(), std::strerror(errno));
    return 1;
  }
  if (!strReadyFile.empty() && !WriteReadyFile(strReadyFile, strSlave + "\n")) {
    std::fprintf(stderr, "modem_simulator: cannot write %s: %s\n", strReadyFile.c_str(), std::strerror(errno));
    if (!strLinkPath.empty()) RemoveLink(strLinkPath, strSlave);
    return 1;
  }
  std::printf("%s\n", strSlave.c_str());
  std::fflush(stdout);

  simulator.Run(setWaitMask, g_nStopSignal);
  if (!strLinkPath.empty()) RemoveLink(strLinkPath, strSlave);
  return 0;
}

}  // namespace
}  // namespace modem_simulator

int main(int argc, char** argv) { return modem_simulator::Main(argc, argv); }
