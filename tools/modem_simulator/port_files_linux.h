// The simulator's files and its view of the port: who else holds the slave,
// the log, the ready file and the link to the slave.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace modem_simulator {

// Whether a process other than this one has the device open, found as
// fuser finds it. Processes we may not look into count as not holding it.
inline bool IsHeldElsewhere(const std::string& strDevice) {
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

inline bool WriteReadyFile(const std::string& strPath, const std::string& strText) {
  std::string strTemp = strPath + ".tmp";
  int fd = open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool bOk = write(fd, strText.data(), strText.size()) == static_cast<ssize_t>(strText.size());
  bOk = close(fd) == 0 && bOk;
  return bOk && rename(strTemp.c_str(), strPath.c_str()) == 0;
}

// The link replaces an older symlink of the same name (a stale comN of an
// earlier run) but never a real file.
inline bool MakeLink(const std::string& strLink, const std::string& strTarget) {
  struct stat st{};
  if (lstat(strLink.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) return false;
    unlink(strLink.c_str());
  }
  return symlink(strTarget.c_str(), strLink.c_str()) == 0;
}

inline void RemoveLink(const std::string& strLink, const std::string& strTarget) {
  char szTarget[256];
  ssize_t nLength = readlink(strLink.c_str(), szTarget, sizeof szTarget - 1);
  if (nLength > 0 && std::string(szTarget, static_cast<size_t>(nLength)) == strTarget) unlink(strLink.c_str());
}

}  // namespace modem_simulator
