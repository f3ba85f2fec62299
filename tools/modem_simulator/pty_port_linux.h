// The modem's side of the pseudo-terminal: the master it reads and writes,
// a slave descriptor of its own, a watch on the opens and closes of the
// slave, and the output that waits for its due time.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>

#include "line_state_linux.h"
#include "port_files_linux.h"

namespace modem_simulator {

struct SPendingOutput {
  int64_t m_nDueMs = 0;
  unsigned m_nSeq = 0;
  std::string m_strBytes;
};

class CPtyPort {
 public:
  ~CPtyPort() { Close(); }

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
  int MasterFd() const { return m_fdMaster; }
  int WatchFd() const { return m_fdWatch; }
  bool IsWatched() const { return m_fdWatch >= 0; }
  bool IsHeld() const { return m_bHeld; }  // someone else has the slave open

  bool ReadState(SLineState& state) const { return ReadLineState(m_fdSlave, state); }

  bool Read(std::string& strBytes) {
    char arrBuffer[4096];
    ssize_t nRead = read(m_fdMaster, arrBuffer, sizeof arrBuffer);
    if (nRead <= 0) return false;
    strBytes.assign(arrBuffer, static_cast<size_t>(nRead));
    return true;
  }

  // inotify merges a repeated event that is still unread into one, so
  // opens and closes cannot be counted; a close only says it is time to
  // look who still holds the slave. fnEvent(bOpen) hears of each, after
  // the last close has reset the line.
  template <typename FnEvent>
  void ReadEvents(FnEvent&& fnEvent) {
    if (m_fdWatch < 0) return;
    alignas(inotify_event) char arrBuffer[4096];
    ssize_t nRead;
    while ((nRead = read(m_fdWatch, arrBuffer, sizeof arrBuffer)) > 0) {
      for (ssize_t nOffset = 0; nOffset < nRead;) {
        const auto* pEvent = reinterpret_cast<const inotify_event*>(arrBuffer + nOffset);
        if (pEvent->mask & IN_OPEN) {
          m_bHeld = true;
          fnEvent(true);
        } else if (pEvent->mask & IN_CLOSE) {
          m_bHeld = IsHeldElsewhere(m_strSlavePath);
          if (!m_bHeld) {
            DiscardSlaveInput(m_fdSlave);
            ClearExclusive(m_fdSlave);
          }
          fnEvent(false);
        }
        nOffset += static_cast<ssize_t>(sizeof(inotify_event) + pEvent->len);
      }
    }
  }

  void Queue(const std::string& strBytes, int64_t nDueMs, unsigned nSeq) {
    if (strBytes.empty()) return;
    // A late answer holds back no later one: output leaves by its due time,
    // and in the order it was made when due together.
    auto it = std::find_if(m_deqOutput.begin(), m_deqOutput.end(),
                           [nDueMs](const SPendingOutput& output) { return output.m_nDueMs > nDueMs; });
    m_deqOutput.insert(it, {nDueMs, nSeq, strBytes});
  }

  bool HasRoom() const { return m_deqOutput.size() < kMaxQueued; }
  bool IsBlocked() const { return m_bOutputBlocked; }
  // When the next output is due, or -1 while none is or the master is full.
  int64_t NextDueMs() const { return m_deqOutput.empty() || m_bOutputBlocked ? -1 : m_deqOutput.front().m_nDueMs; }

  // Output due while nobody holds the port is dropped, as a closed port
  // receives nothing; fnDrop(output) hears of each piece.
  template <typename FnDrop>
  void WriteDue(int64_t nNow, FnDrop&& fnDrop) {
    while (!m_deqOutput.empty() && m_deqOutput.front().m_nDueMs <= nNow) {
      SPendingOutput& output = m_deqOutput.front();
      if (!m_bHeld) {
        fnDrop(output);
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

  // The slave disappears with the master.
  void Close() {
    for (int* pFd : {&m_fdWatch, &m_fdSlave, &m_fdMaster}) {
      if (*pFd >= 0) close(*pFd);
      *pFd = -1;
    }
  }

 private:
  static constexpr size_t kMaxQueued = 64;  // pieces of output waiting for the port

  std::string m_strSlavePath;
  int m_fdMaster = -1;
  int m_fdSlave = -1;
  int m_fdWatch = -1;
  bool m_bHeld = false;
  std::deque<SPendingOutput> m_deqOutput;
  bool m_bOutputBlocked = false;
};

}  // namespace modem_simulator
