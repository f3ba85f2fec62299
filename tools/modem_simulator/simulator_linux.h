// The simulated modem at work: the event loop that waits on the port, the
// far end's program and the clock; the command lines it splits, answers or
// misbehaves on; and the call it hands to the far end.
#pragma once

#include <poll.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "call_linux.h"
#include "hayes_modem.h"
#include "line_state_linux.h"
#include "misbehaviour.h"
#include "options.h"
#include "port_files_linux.h"
#include "pty_port_linux.h"

namespace modem_simulator {

inline int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;
constexpr size_t kMaxLine = 4096;
constexpr int64_t kLineFeedWaitMs = 5;

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

  bool LoadProfile() { return m_modem.SetStoredProfile(m_options.m_strProfile); }

  bool Create(std::string& strError) { return m_port.Create(strError); }
  const std::string& SlavePath() const { return m_port.SlavePath(); }

  // setWaitMask is also the signal mask the far end's program starts with;
  // a stop signal that comes while waiting sets nStopSignal.
  void Run(const sigset_t& setWaitMask, const volatile sig_atomic_t& nStopSignal) {
    m_nStartMs = NowMs();
    m_setChildMask = setWaitMask;
    m_rLog.Write("start t=0 pty=" + m_port.SlavePath() + (m_port.IsWatched() ? "" : " held=untracked"));
    while (!nStopSignal && !m_bVanished) {
      // Poll skips the entries whose descriptor is negative.
      pollfd arrFds[3] = {{m_port.MasterFd(), POLLIN, 0}, {m_port.WatchFd(), POLLIN, 0}, {m_program.Fd(), 0, 0}};
      if (m_eCall == ECall::Online && m_program.IsBacklogged()) arrFds[0].events = 0;
      if (m_port.IsBlocked()) arrFds[0].events |= POLLOUT;
      // Online, the far end is heard once the port has taken what came
      // before; in online command mode its data waits, its hang-up does not.
      if (m_eCall == ECall::Online) arrFds[2].events = m_port.HasRoom() ? POLLIN : 0;
      if (m_eCall == ECall::Command) arrFds[2].events = POLLRDHUP;
      if (m_program.WantsWrite()) arrFds[2].events |= POLLOUT;
      int64_t nTimeout = NextWakeMs();
      timespec tsTimeout{static_cast<time_t>(nTimeout / 1000), static_cast<long>(nTimeout % 1000) * 1000000};
      int nReady = ppoll(arrFds, 3, nTimeout < 0 ? nullptr : &tsTimeout, &setWaitMask);
      if (nReady < 0 && errno != EINTR) break;
      if (nReady < 0) continue;
      // Port events first: a close that came before a command must be
      // known before that command's answer goes out.
      ReadPortEvents();
      if (arrFds[0].revents & POLLIN) ReadMaster();
      TendCall(NowMs(), arrFds[2].revents);
      SplitLines(NowMs());
      WriteDueOutput(NowMs());
    }
    if (m_eCall != ECall::None) HangUp(NowMs(), "stop");
    m_program.Finish();
    if (!m_bVanished) m_rLog.Write("stop t=" + std::to_string(Elapsed()) + " signal=" + std::to_string(nStopSignal));
  }

 private:
  int64_t Elapsed() const { return NowMs() - m_nStartMs; }

  int64_t NextWakeMs() const {
    int64_t nWake = -1;
    int64_t nNow = NowMs();
    for (int64_t nDue : {m_port.NextDueMs(), m_nLineFeedDeadline > 0 ? m_nLineFeedDeadline : -1, m_nConnectAtMs,
                         m_nTendAtMs, m_eCall == ECall::Online ? m_escape.DueMs() : -1}) {
      if (nDue < 0) continue;
      int64_t nWait = std::max<int64_t>(0, nDue - nNow);
      nWake = nWake < 0 ? nWait : std::min(nWake, nWait);
    }
    return nWake;
  }

  void ReadMaster() {
    std::string strBytes;
    if (!m_port.Read(strBytes)) return;
    if (m_eCall != ECall::Online) {
      m_strInput += strBytes;
      return;
    }
    m_nCallRx += strBytes.size();
    m_program.Send(strBytes);
    m_escape.Receive(strBytes, NowMs(), m_modem.GetEscapeChar(), m_modem.GetGuardMs());
  }

  // The call: its start once CONNECT is out, the far end's data and
  // hang-up, the escape to command mode, and the program's reaping.
  void TendCall(int64_t nNow, short nRevents) {
    if (m_nConnectAtMs >= 0 && nNow >= m_nConnectAtMs) StartCall(nNow);
    if (m_eCall != ECall::None) {
      std::string strFromFar;
      bool bUp = true;
      if (m_eCall == ECall::Online && (nRevents & (POLLIN | POLLHUP | POLLERR))) bUp = m_program.Read(strFromFar);
      if (m_eCall == ECall::Command && (nRevents & (POLLRDHUP | POLLHUP | POLLERR))) bUp = false;
      m_nCallTx += strFromFar.size();
      QueueOutput(strFromFar, nNow);
      if (!bUp || !m_program.Flush()) {
        HangUp(nNow, "program-ended");
        QueueOutput(m_modem.FrameResult(EResult::NoCarrier), nNow);
      }
    }
    const int64_t nEscape = m_escape.DueMs();
    if (m_eCall == ECall::Online && nEscape >= 0 && nNow >= nEscape) {
      m_eCall = ECall::Command;
      m_rLog.Write("escape t=" + std::to_string(Elapsed()));
      QueueOutput(m_modem.FrameResult(EResult::Ok), nNow);
    }
    m_nTendAtMs = m_program.Tend(nNow);
  }

  void StartCall(int64_t nNow) {
    m_nConnectAtMs = -1;
    std::string strError;
    if (!m_program.Start(m_options.m_vecAnswer, m_setChildMask, strError)) {
      m_rLog.Write("answer-failed t=" + std::to_string(Elapsed()) + " error=\"" + CEscape(strError) + "\"");
      QueueOutput(m_modem.FrameResult(EResult::NoCarrier), nNow);
      return;
    }
    m_rLog.Write("call t=" + std::to_string(Elapsed()) + " program=\"" + CEscape(m_options.m_vecAnswer[0]) + "\"");
    m_nCallRx = m_nCallTx = 0;
    GoOnline(nNow);
  }

  // Data the other side sent after the command line that went online is
  // the call's already.
  void GoOnline(int64_t nNow) {
    m_eCall = ECall::Online;
    m_modem.SetCallUp(true);
    m_escape.Reset(nNow);
    m_program.Send(m_strInput);
    m_nCallRx += m_strInput.size();
    m_strInput.clear();
  }

  void HangUp(int64_t nNow, const char* pszWhy) {
    m_program.HangUp(nNow);
    m_eCall = ECall::None;
    m_modem.SetCallUp(false);
    m_rLog.Write("hangup t=" + std::to_string(Elapsed()) + " why=" + pszWhy + " rx=" + std::to_string(m_nCallRx) +
                 " tx=" + std::to_string(m_nCallTx));
  }

  void ReadPortEvents() {
    m_port.ReadEvents([this](bool bOpen) {
      if (bOpen) {
        m_rLog.Write("open t=" + std::to_string(Elapsed()));
        return;
      }
      m_rLog.Write("close t=" + std::to_string(Elapsed()) + " held=" + (m_port.IsHeld() ? "yes" : "no"));
      if (m_port.IsHeld()) return;
      // The last close drops DTR, and the modem hangs up.
      m_nConnectAtMs = -1;
      if (m_eCall != ECall::None) HangUp(NowMs(), "port-closed");
    });
  }

  // A command line ends with S3 (CR). The LF the sender puts after it is
  // taken into the same line, waiting a few milliseconds for it when the
  // CR came last, so the log shows each line's bytes whole.
  void SplitLines(int64_t nNow) {
    while (!m_bVanished && m_eCall != ECall::Online && m_nConnectAtMs < 0) {
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
    m_port.ReadState(state);
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
    switch (m_modem.TakeCallRequest()) {
      case ECallRequest::HangUp: HangUp(nNow, "ath"); break;
      case ECallRequest::Online: GoOnline(nNow + actions.m_nLateMs); break;
      case ECallRequest::None: break;
    }
    // The far end takes the line once CONNECT has gone out whole.
    if (!strDialled.empty() && m_modem.LastResult() == EResult::Connect && !m_options.m_vecAnswer.empty())
      m_nConnectAtMs = std::max(nNow + actions.m_nLateMs, m_nPrintingUntilMs);
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

  void QueueOutput(const std::string& strBytes, int64_t nDueMs) { m_port.Queue(strBytes, nDueMs, m_nSeq); }

  void WriteDueOutput(int64_t nNow) {
    ReadPortEvents();
    m_port.WriteDue(nNow, [this](const SPendingOutput& output) {
      m_rLog.Write("drop t=" + std::to_string(Elapsed()) + " seq=" + std::to_string(output.m_nSeq) + " tx=\"" +
                   CEscape(output.m_strBytes) + "\" why=port-closed");
    });
  }

  // Hangs up: the slave disappears with the master, so the user's current
  // transfer fails and its next open finds no device.
  void Vanish() {
    m_rLog.Write("vanish t=" + std::to_string(Elapsed()) + " seq=" + std::to_string(m_nSeq));
    m_port.Close();
    m_bVanished = true;
  }

  SOptions m_options;
  CLog& m_rLog;
  CHayesModem m_modem;
  CPtyPort m_port;
  unsigned m_nSeq = 0;
  int64_t m_nStartMs = 0;
  int64_t m_nLineFeedDeadline = 0;
  int64_t m_nPrintingUntilMs = 0;  // a paced answer goes out until then
  std::string m_strInput;
  bool m_bVanished = false;
  // The call: None, Online (data goes to and from the far end's program) or
  // Command (held while the modem takes commands after +++).
  enum class ECall { None, Online, Command } m_eCall = ECall::None;
  int64_t m_nConnectAtMs = -1;  // the call starts then, CONNECT being out
  int64_t m_nTendAtMs = -1;     // the program wants looking after then
  CAnswerProgram m_program;
  CEscapeGuard m_escape;
  uint64_t m_nCallRx = 0;  // bytes of the call from the port to the far end
  uint64_t m_nCallTx = 0;  // and back
  sigset_t m_setChildMask{};
};

}  // namespace modem_simulator
