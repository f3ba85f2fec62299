// A Hayes modem behind a pseudo-terminal, for end-to-end tests of the query
// command. It prints the slave's path, then answers every command line at
// the speed the other side has set, or misbehaves as its options say.
// Run with --help for the options.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "modem_simulator/hayes_modem.h"
#include "modem_simulator/line_state_linux.h"
#include "modem_simulator/options.h"

namespace modem_simulator {
namespace {

volatile sig_atomic_t g_nStopSignal = 0;

void OnStopSignal(int nSignal) { g_nStopSignal = nSignal; }

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;
constexpr size_t kMaxLine = 4096;
constexpr int64_t kLineFeedWaitMs = 5;

// Line noise as a receiver at the wrong speed makes of a character: high
// bytes, never a flow-control character or NUL, the same every run.
std::string MakeGarbage(size_t nLength) {
  std::string strOut;
  uint32_t nState = 0x2545F491u;
  for (size_t i = 0; i < std::max<size_t>(nLength, 4); ++i) {
    nState = nState * 1103515245u + 12345u;
    strOut += static_cast<char>(0x80 | ((nState >> 16) & 0x7F));
  }
  return strOut;
}

// A long but believable register dump, at least nBytes long.
std::string MakeFlood(long nBytes) {
  std::string strOut;
  for (int nRow = 0; static_cast<long>(strOut.size()) < nBytes; ++nRow) {
    if (!strOut.empty()) strOut += "\r\n";
    char szRow[96];
    std::snprintf(szRow, sizeof szRow, "S%02d=%03d S%02d=%03d S%02d=%03d S%02d=%03d S%02d=%03d S%02d=%03d",
                  nRow * 6 % 100, nRow % 256, (nRow * 6 + 1) % 100, 13, (nRow * 6 + 2) % 100, 10,
                  (nRow * 6 + 3) % 100, 8, (nRow * 6 + 4) % 100, 2, (nRow * 6 + 5) % 100, 50);
    strOut += szRow;
  }
  return strOut;
}

std::string LowerAscii(std::string strText) {
  for (char& ch : strText) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return strText;
}

// Whether a process other than this one has the device open, found as
// fuser finds it. Processes we may not look into count as not holding it.
bool IsHeldElsewhere(const std::string& strDevice) {
  DIR* pProc = opendir("/proc");
  if (!pProc) return true;
  const std::string strSelf = std::to_string(getpid());
  bool bHeld = false;
  while (dirent* pProcess = readdir(pProc)) {
    if (!std::isdigit(static_cast<unsigned char>(pProcess->d_name[0])) || strSelf == pProcess->d_name) continue;
    std::string strFds = std::string("/proc/") + pProcess->d_name + "/fd";
    DIR* pFds = opendir(strFds.c_str());
    if (!pFds) continue;
    while (dirent* pFd = readdir(pFds)) {
      char szTarget[256];
      ssize_t nLength = readlink((strFds + "/" + pFd->d_name).c_str(), szTarget, sizeof szTarget);
      if (nLength > 0 && strDevice.compare(0, std::string::npos, szTarget, static_cast<size_t>(nLength)) == 0) {
        bHeld = true;
        break;
      }
    }
    closedir(pFds);
    if (bHeld) break;
  }
  closedir(pProc);
  return bHeld;
}

class CLog {
 public:
  bool Open(const std::string& strPath) {
    if (strPath.empty()) return true;
    m_fdLog = open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    return m_fdLog >= 0;
  }
  ~CLog() {
    if (m_fdLog >= 0) close(m_fdLog);
  }
  // One write per line, so a reader never sees half a line.
  void Write(const std::string& strLine) {
    if (m_fdLog < 0) return;
    std::string strOut = strLine + "\n";
    if (write(m_fdLog, strOut.data(), strOut.size()) < 0) {
      // A log that cannot be written must not stop the modem.
    }
  }

 private:
  int m_fdLog = -1;
};

struct SPendingOutput {
  int64_t m_nDueMs = 0;
  unsigned m_nSeq = 0;
  std::string m_strBytes;
};

class CModemSimulator {
 public:
  CModemSimulator(SOptions options, CLog& log) : m_options(std::move(options)), m_rLog(log) {
    for (const auto& info : m_options.m_vecInfo) m_modem.SetInfoText(info.first, info.second);
    const std::string& strDial = m_options.m_strDial;
    m_modem.SetDialResult(strDial == "busy"          ? EResult::Busy
                          : strDial == "no-carrier"  ? EResult::NoCarrier
                          : strDial == "no-dialtone" ? EResult::NoDialtone
                                                     : EResult::Connect);
  }

  bool LoadProfile() {
    m_modem.ExecuteLine(m_options.m_strProfile);
    return m_modem.LastResult() == EResult::Ok;
  }
  ~CModemSimulator() { CloseLine(); }

  bool Create(std::string& strError) {
    m_fdMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char szName[128];
    if (m_fdMaster < 0 || grantpt(m_fdMaster) != 0 || unlockpt(m_fdMaster) != 0 ||
        ptsname_r(m_fdMaster, szName, sizeof szName) != 0) {
      strError = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    m_strSlavePath = szName;
    // Our own slave descriptor keeps the line alive between the tool's
    // opens and lets us read its settings. No lock is taken on it.
    m_fdSlave = open(szName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fdSlave < 0) {
      strError = "cannot open " + m_strSlavePath + ": " + std::strerror(errno);
      return false;
    }
    fcntl(m_fdMaster, F_SETFL, fcntl(m_fdMaster, F_GETFL) | O_NONBLOCK);
    // Watching opens and closes of the slave tells when the port is held;
    // without it every reply is delivered.
    m_fdWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fdWatch >= 0 && inotify_add_watch(m_fdWatch, szName, IN_OPEN | IN_CLOSE) < 0) {
      close(m_fdWatch);
      m_fdWatch = -1;
    }
    m_bHeld = m_fdWatch < 0;
    return true;
  }

  const std::string& SlavePath() const { return m_strSlavePath; }

  void Run(const sigset_t& setWaitMask) {
    m_nStartMs = NowMs();
    m_rLog.Write("start t=0 pty=" + m_strSlavePath + (m_fdWatch < 0 ? " held=untracked" : ""));
    while (!g_nStopSignal && !m_bVanished) {
      pollfd arrFds[2] = {{m_fdMaster, POLLIN, 0}, {m_fdWatch, POLLIN, 0}};
      if (m_bOutputBlocked) arrFds[0].events |= POLLOUT;
      int64_t nTimeout = NextWakeMs();
      timespec tsTimeout{static_cast<time_t>(nTimeout / 1000), static_cast<long>(nTimeout % 1000) * 1000000};
      int nReady = ppoll(arrFds, m_fdWatch >= 0 ? 2 : 1, nTimeout < 0 ? nullptr : &tsTimeout, &setWaitMask);
      if (nReady < 0 && errno != EINTR) break;
      if (nReady < 0) continue;
      // Port events first: a close that came before a command must be
      // known before that command's answer goes out.
      ReadPortEvents();
      if (arrFds[0].revents & POLLIN) ReadMaster();
      SplitLines(NowMs());
      WriteDueOutput(NowMs());
    }
    if (!m_bVanished) m_rLog.Write("stop t=" + std::to_string(Elapsed()) + " signal=" + std::to_string(g_nStopSignal));
  }

 private:
  int64_t Elapsed() const { return NowMs() - m_nStartMs; }

  int64_t NextWakeMs() const {
    int64_t nWake = -1;
    int64_t nNow = NowMs();
    if (!m_deqOutput.empty() && !m_bOutputBlocked) nWake = std::max<int64_t>(0, m_deqOutput.front().m_nDueMs - nNow);
    if (m_nLineFeedDeadline > 0) {
      int64_t nWait = std::max<int64_t>(0, m_nLineFeedDeadline - nNow);
      nWake = nWake < 0 ? nWait : std::min(nWake, nWait);
    }
    return nWake;
  }

  void ReadMaster() {
    char arrBuffer[4096];
    ssize_t nRead = read(m_fdMaster, arrBuffer, sizeof arrBuffer);
    if (nRead > 0) m_strInput.append(arrBuffer, static_cast<size_t>(nRead));
  }

  // inotify merges a repeated event that is still unread into one, so
  // opens and closes cannot be counted; a close only says it is time to
  // look who still holds the slave.
  void ReadPortEvents() {
    if (m_fdWatch < 0) return;
    alignas(inotify_event) char arrBuffer[4096];
    ssize_t nRead;
    while ((nRead = read(m_fdWatch, arrBuffer, sizeof arrBuffer)) > 0) {
      for (ssize_t nOffset = 0; nOffset < nRead;) {
        const auto* pEvent = reinterpret_cast<const inotify_event*>(arrBuffer + nOffset);
        if (pEvent->mask & IN_OPEN) {
          m_bHeld = true;
          m_rLog.Write("open t=" + std::to_string(Elapsed()));
        } else if (pEvent->mask & IN_CLOSE) {
          m_bHeld = IsHeldElsewhere(m_strSlavePath);
          m_rLog.Write("close t=" + std::to_string(Elapsed()) + " held=" + (m_bHeld ? "yes" : "no"));
          if (!m_bHeld) {
            DiscardSlaveInput(m_fdSlave);
            ClearExclusive(m_fdSlave);
          }
        }
        nOffset += static_cast<ssize_t>(sizeof(inotify_event) + pEvent->len);
      }
    }
  }

  // A command line ends with S3 (CR). The LF the sender puts after it is
  // taken into the same line, waiting a few milliseconds for it when the
  // CR came last, so the log shows each line's bytes whole.
  void SplitLines(int64_t nNow) {
    while (!m_bVanished) {
      size_t nEnd = m_strInput.find(m_modem.GetLineEnd());
      if (nEnd == std::string::npos) {
        if (m_strInput.size() > kMaxLine) {
          m_rLog.Write("overflow t=" + std::to_string(Elapsed()) + " rx=\"" + CEscape(m_strInput) + "\"");
          m_strInput.clear();
        }
        m_nLineFeedDeadline = 0;
        return;
      }
      if (nEnd + 1 == m_strInput.size()) {
        if (m_nLineFeedDeadline == 0) m_nLineFeedDeadline = nNow + kLineFeedWaitMs;
        if (nNow < m_nLineFeedDeadline) return;
      }
      m_nLineFeedDeadline = 0;
      size_t nLength = nEnd + 1;
      if (nLength < m_strInput.size() && m_strInput[nLength] == '\n') ++nLength;
      std::string strLine = m_strInput.substr(0, nLength);
      m_strInput.erase(0, nLength);
      HandleLine(strLine, nNow);
    }
  }

  bool IsSupported(uint32_t nSpeed) const {
    const auto& vec = m_options.m_vecSpeeds;
    return vec.empty() || std::find(vec.begin(), vec.end(), nSpeed) != vec.end();
  }

  SRule* FindRule(const std::string& strCommand, uint32_t nSpeed, bool bSpeedOk) {
    std::string strUpper = UpperAscii(strCommand);
    for (SRule& rule : m_options.m_vecRules) {
      if (rule.m_nRemaining == 0) continue;
      if (!rule.m_strCommand.empty() && rule.m_strCommand != strUpper) continue;
      if (rule.m_nSpeed != 0 ? rule.m_nSpeed != nSpeed : !bSpeedOk) continue;
      if (rule.m_nRemaining > 0) --rule.m_nRemaining;
      return &rule;
    }
    return nullptr;
  }

  void HandleLine(const std::string& strLine, int64_t nNow) {
    ++m_nSeq;
    SLineState state;
    ReadLineState(m_fdSlave, state);
    // The command as the modem sees it: no line end, no flow control,
    // backspaces applied.
    std::string strCommand;
    std::string strEcho;
    for (char ch : strLine) {
      if (ch == kXon || ch == kXoff || ch == '\n') continue;
      strEcho += ch;
      if (ch == m_modem.GetLineEnd()) continue;
      if (ch == '\b') {
        if (!strCommand.empty()) strCommand.pop_back();
      } else {
        strCommand += ch;
      }
    }
    bool bSpeedOk = IsSupported(state.m_nOutputSpeed) && state.m_nInputSpeed == state.m_nOutputSpeed;
    const SRule* pRule = FindRule(strCommand, state.m_nOutputSpeed, bSpeedOk);
    SActions actions = pRule ? pRule->m_actions : SActions{};
    if (m_options.m_nVanishAfter >= 0 && m_nSeq > static_cast<unsigned>(m_options.m_nVanishAfter)) {
      actions.m_bVanish = true;
      actions.m_strSpelling = "vanish";
    }

    std::string strAnswer;
    std::string strWhat = pRule ? actions.m_strSpelling : "answer";
    if (nNow < m_nPrintingUntilMs) {
      // A modem reads no command while it prints a paced answer.
      strWhat = "ignored-while-printing";
      strEcho.clear();
    } else if (!pRule && !bSpeedOk) {
      strWhat = "wrong-speed";
      strEcho.clear();
      if (m_options.m_bGarbageAtWrongSpeed) strAnswer = MakeGarbage(strLine.size());
    } else if (actions.m_bVanish || actions.m_bSilent) {
      strEcho.clear();
    } else if (actions.m_bGarbage) {
      strEcho.clear();
      strAnswer = MakeGarbage(strLine.size());
    } else {
      if (!m_modem.IsEchoOn()) strEcho.clear();
      m_modem.SetLineSpeed(state.m_nOutputSpeed);
      strAnswer = MakeAnswer(strCommand, actions);
    }
    const std::string strDialled = m_modem.TakeDialled();

    std::string strLog = "cmd t=" + std::to_string(nNow - m_nStartMs) + " seq=" + std::to_string(m_nSeq) +
                         " speed=" + std::to_string(state.m_nOutputSpeed);
    if (state.m_nInputSpeed != state.m_nOutputSpeed) strLog += " ispeed=" + std::to_string(state.m_nInputSpeed);
    strLog += " frame=" + state.m_strFrame + " flow=" + state.m_strFlow + " ldisc=" + state.m_strDiscipline +
              " rx=\"" + CEscape(strLine) + "\" tx=\"" + CEscape(strEcho + strAnswer) + "\"";
    if (actions.m_nLateMs > 0) strLog += " delay=" + std::to_string(actions.m_nLateMs);
    if (!strDialled.empty()) strLog += " dial=\"" + CEscape(strDialled) + "\"";
    m_rLog.Write(strLog + " act=" + strWhat);

    if (actions.m_bVanish) {
      Vanish();
      return;
    }
    QueueOutput(strEcho, nNow);
    if (actions.m_bPaced && state.m_nOutputSpeed > 0) {
      for (size_t i = 0; i < strAnswer.size(); ++i) {
        m_nPrintingUntilMs = nNow + actions.m_nLateMs +
                             static_cast<int64_t>((i + 1) * 10000 / state.m_nOutputSpeed);
        QueueOutput(strAnswer.substr(i, 1), m_nPrintingUntilMs);
      }
    } else {
      QueueOutput(strAnswer, nNow + actions.m_nLateMs);
    }
  }

  std::string MakeAnswer(const std::string& strCommand, const SActions& actions) {
    std::string strAnswer;
    size_t nAt = std::string::npos;
    for (size_t i = 0; i + 1 < strCommand.size() && nAt == std::string::npos; ++i)
      if (std::toupper(static_cast<unsigned char>(strCommand[i])) == 'A' &&
          std::toupper(static_cast<unsigned char>(strCommand[i + 1])) == 'T')
        nAt = i;
    if (actions.m_optRaw) {
      strAnswer = *actions.m_optRaw;
    } else if (nAt == std::string::npos) {
      // A line without the AT prefix is no command: a modem ignores it.
    } else if (actions.m_bError) {
      strAnswer = m_modem.FrameResult(EResult::Error);
    } else if (actions.m_optText) {
      strAnswer = m_modem.FrameInfo(*actions.m_optText) + m_modem.FrameResult(EResult::Ok);
    } else {
      strAnswer = m_modem.ExecuteLine(strCommand.substr(nAt + 2));
    }
    if (actions.m_nFloodBytes > 0) strAnswer = m_modem.FrameInfo(MakeFlood(actions.m_nFloodBytes)) + strAnswer;
    if (actions.m_bLower) strAnswer = LowerAscii(strAnswer);
    // XOFF and never an XON after it: the sender's next write stalls.
    if (actions.m_bXoff) strAnswer.insert(strAnswer.begin(), kXoff);
    return strAnswer;
  }

  void QueueOutput(const std::string& strBytes, int64_t nDueMs) {
    if (strBytes.empty()) return;
    // A late answer holds back no later one: output leaves by its due time,
    // and in the order it was made when due together.
    auto it = std::find_if(m_deqOutput.begin(), m_deqOutput.end(),
                           [nDueMs](const SPendingOutput& output) { return output.m_nDueMs > nDueMs; });
    m_deqOutput.insert(it, {nDueMs, m_nSeq, strBytes});
  }

  void WriteDueOutput(int64_t nNow) {
    ReadPortEvents();
    while (!m_deqOutput.empty() && m_deqOutput.front().m_nDueMs <= nNow) {
      SPendingOutput& output = m_deqOutput.front();
      if (!m_bHeld) {
        m_rLog.Write("drop t=" + std::to_string(Elapsed()) + " seq=" + std::to_string(output.m_nSeq) + " tx=\"" +
                    CEscape(output.m_strBytes) + "\" why=port-closed");
        m_deqOutput.pop_front();
        continue;
      }
      ssize_t nWritten = write(m_fdMaster, output.m_strBytes.data(), output.m_strBytes.size());
      if (nWritten < 0 && (errno == EAGAIN || errno == EINTR)) {
        m_bOutputBlocked = true;
        return;
      }
      m_bOutputBlocked = false;
      if (nWritten < 0 || static_cast<size_t>(nWritten) == output.m_strBytes.size()) {
        m_deqOutput.pop_front();
      } else {
        output.m_strBytes.erase(0, static_cast<size_t>(nWritten));
      }
    }
  }

  // Hangs up: the slave disappears with the master, so the user's current
  // transfer fails and its next open finds no device.
  void Vanish() {
    m_rLog.Write("vanish t=" + std::to_string(Elapsed()) + " seq=" + std::to_string(m_nSeq));
    CloseLine();
    m_bVanished = true;
  }

  void CloseLine() {
    for (int* pFd : {&m_fdWatch, &m_fdSlave, &m_fdMaster}) {
      if (*pFd >= 0) close(*pFd);
      *pFd = -1;
    }
  }

  SOptions m_options;
  CLog& m_rLog;
  CHayesModem m_modem;
  std::string m_strSlavePath;
  int m_fdMaster = -1;
  int m_fdSlave = -1;
  int m_fdWatch = -1;
  bool m_bHeld = false;  // someone else has the slave open
  unsigned m_nSeq = 0;
  int64_t m_nStartMs = 0;
  int64_t m_nLineFeedDeadline = 0;
  int64_t m_nPrintingUntilMs = 0;  // a paced answer goes out until then
  std::string m_strInput;
  std::deque<SPendingOutput> m_deqOutput;
  bool m_bOutputBlocked = false;
  bool m_bVanished = false;
};

bool WriteReadyFile(const std::string& strPath, const std::string& strText) {
  std::string strTemp = strPath + ".tmp";
  int fd = open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool bOk = write(fd, strText.data(), strText.size()) == static_cast<ssize_t>(strText.size());
  bOk = close(fd) == 0 && bOk;
  return bOk && rename(strTemp.c_str(), strPath.c_str()) == 0;
}

// The link replaces an older symlink of the same name (a stale comN of an
// earlier run) but never a real file.
bool MakeLink(const std::string& strLink, const std::string& strTarget) {
  struct stat st{};
  if (lstat(strLink.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) return false;
    unlink(strLink.c_str());
  }
  return symlink(strTarget.c_str(), strLink.c_str()) == 0;
}

void RemoveLink(const std::string& strLink, const std::string& strTarget) {
  char szTarget[256];
  ssize_t nLength = readlink(strLink.c_str(), szTarget, sizeof szTarget - 1);
  if (nLength > 0 && std::string(szTarget, static_cast<size_t>(nLength)) == strTarget) unlink(strLink.c_str());
}

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

  simulator.Run(setWaitMask);
  if (!strLinkPath.empty()) RemoveLink(strLinkPath, strSlave);
  return 0;
}

}  // namespace
}  // namespace modem_simulator

int main(int argc, char** argv) { return modem_simulator::Main(argc, argv); }
