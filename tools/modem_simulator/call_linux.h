// The far end of a call. Once the modem has answered ATD with CONNECT, a
// program given on the command line gets the line as its standard input and
// output (one end of a socket pair) until either side hangs up, so that a
// test can put a real peer (an ISP's pppd) behind the simulated modem.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace modem_simulator {

// The Hayes escape: a guard time of silence, three escape characters, each
// within the guard time of the one before, and the guard time again. The
// characters still reach the far end, as on a real modem. An escape
// character after the guard time starts a new escape, whatever came before.
class CEscapeGuard {
 public:
  void Reset(int64_t nNow) {
    m_nCount = 0;
    m_nLastMs = nNow;
  }

  void Receive(const std::string& strBytes, int64_t nNow, char chEscape, int64_t nGuardMs) {
    for (char ch : strBytes) {
      const int64_t nGap = nNow - m_nLastMs;
      if (ch != chEscape)
        m_nCount = 0;
      else if (m_nCount > 0 && m_nCount < 3 && nGap <= nGuardMs)
        ++m_nCount;
      else
        m_nCount = nGap >= nGuardMs ? 1 : 0;
      m_nLastMs = nNow;
    }
    m_nGuardMs = nGuardMs;
  }

  // When the escape takes effect if the line stays quiet; -1 when none is due.
  int64_t DueMs() const { return m_nCount == 3 ? m_nLastMs + m_nGuardMs : -1; }

 private:
  int m_nCount = 0;
  int64_t m_nLastMs = 0;
  int64_t m_nGuardMs = 0;
};

class CAnswerProgram {
 public:
  ~CAnswerProgram() { Finish(); }

  // Starts the program in a session of its own, so that the whole group can
  // be signalled, with the signal mask and SIGPIPE as a shell would give it.
  bool Start(const std::vector<std::string>& vecArgv, const sigset_t& setChildMask, std::string& strError) {
    Finish();  // the program of the call before, if it still lingers
    int arrFds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, arrFds) != 0) {
      strError = std::string("socketpair: ") + std::strerror(errno);
      return false;
    }
    std::vector<char*> vecArgs;
    for (const std::string& strArg : vecArgv) vecArgs.push_back(const_cast<char*>(strArg.c_str()));
    vecArgs.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec.
      setsid();
      dup2(arrFds[1], STDIN_FILENO);
      dup2(arrFds[1], STDOUT_FILENO);
      signal(SIGPIPE, SIG_DFL);
      sigprocmask(SIG_SETMASK, &setChildMask, nullptr);
      execvp(vecArgs[0], vecArgs.data());
      _exit(127);
    }
    close(arrFds[1]);
    if (pid < 0) {
      strError = std::string("fork: ") + std::strerror(errno);
      close(arrFds[0]);
      return false;
    }
    m_pid = pid;
    m_fdLine = arrFds[0];
    fcntl(m_fdLine, F_SETFL, fcntl(m_fdLine, F_GETFL) | O_NONBLOCK);
    m_strToProgram.clear();
    m_nSignalAtMs = -1;
    return true;
  }

  int Fd() const { return m_fdLine; }
  bool WantsWrite() const { return m_fdLine >= 0 && !m_strToProgram.empty(); }
  // A far end that does not keep up holds back the modem's reading.
  bool IsBacklogged() const { return m_strToProgram.size() > 65536; }

  void Send(const std::string& strBytes) {
    if (m_fdLine >= 0) m_strToProgram += strBytes;
  }

  // Writes what the socket takes now; false when the program has gone.
  bool Flush() {
    while (m_fdLine >= 0 && !m_strToProgram.empty()) {
      const ssize_t nWritten = send(m_fdLine, m_strToProgram.data(), m_strToProgram.size(), MSG_NOSIGNAL);
      if (nWritten < 0) return errno == EAGAIN || errno == EINTR;
      m_strToProgram.erase(0, static_cast<size_t>(nWritten));
    }
    return true;
  }

  // Appends what the program sent; false once it has closed its end (the
  // program, and whatever it started with the line, ended).
  bool Read(std::string& strOut) {
    char arrBuffer[4096];
    const ssize_t nRead = read(m_fdLine, arrBuffer, sizeof arrBuffer);
    if (nRead > 0) strOut.append(arrBuffer, static_cast<size_t>(nRead));
    return nRead > 0 || (nRead < 0 && (errno == EAGAIN || errno == EINTR));
  }

  // Hangs up: the program reads the end of the line. One still running a
  // second later gets SIGTERM, and SIGKILL a second after that.
  void HangUp(int64_t nNow) {
    if (m_fdLine >= 0) close(m_fdLine);
    m_fdLine = -1;
    m_strToProgram.clear();
    if (m_pid > 0 && m_nSignalAtMs < 0) {
      m_nSignalAtMs = nNow + kGraceMs;
      m_nNextSignal = SIGTERM;
    }
  }

  // Reaps the program and signals it when its time is up. Returns when it
  // wants to be called again, -1 for never.
  int64_t Tend(int64_t nNow) {
    if (m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == m_pid) m_pid = 0;
    if (m_pid <= 0 || m_nSignalAtMs < 0) return -1;
    if (nNow >= m_nSignalAtMs) {
      kill(-m_pid, m_nNextSignal);
      m_nSignalAtMs = m_nNextSignal == SIGTERM ? nNow + kGraceMs : nNow + kReapPollMs;
      m_nNextSignal = SIGKILL;
    }
    return m_nSignalAtMs;
  }

  // At exit: hangs up and waits, at most the two grace periods.
  void Finish() {
    HangUp(0);
    for (int nStep = 0; m_pid > 0 && nStep < 2 * kGraceMs / kReapPollMs + 2; ++nStep) {
      if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) break;
      if (nStep == kGraceMs / kReapPollMs) kill(-m_pid, SIGTERM);
      if (nStep == 2 * kGraceMs / kReapPollMs) kill(-m_pid, SIGKILL);
      usleep(kReapPollMs * 1000);
    }
    m_pid = 0;
  }

 private:
  static constexpr int kGraceMs = 1000;
  static constexpr int kReapPollMs = 20;

  pid_t m_pid = 0;
  int m_fdLine = -1;
  std::string m_strToProgram;
  int64_t m_nSignalAtMs = -1;
  int m_nNextSignal = SIGTERM;
};

}  // namespace modem_simulator
