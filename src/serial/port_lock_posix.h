// UUCP lock files, as pppd (with its `lock` option), minicom, mgetty and cu
// take them: LCK..NAME in the lock folder, holding the owner's PID in HDB
// format ("%10d\n"). A lock whose process is gone, or that holds no PID, is
// stale and is taken over, atomically: a fresh lock that another process
// puts there meanwhile is never removed. A young empty lock is one in the
// making and is held.
#pragma once

#include <string>
#include <vector>

#include "serial/port_lock.h"

namespace halvorn {

class UucpPortLock final : public PortLock {
 public:
  explicit UucpPortLock(std::string folder = "/var/lock") : m_strFolder(std::move(folder)) {}
  ~UucpPortLock() override { Release(); }
  UucpPortLock(const UucpPortLock&) = delete;
  UucpPortLock& operator=(const UucpPortLock&) = delete;

  // EBUSY when a live process holds a lock under any name the port is reached
  // by (as typed, each hop of a chain of links, and the device, in the
  // naming of pppd and of the terminal programs). Otherwise the lock is
  // taken under every one of those names and removed by Release or by
  // SIGINT, SIGTERM or SIGHUP, which then end the process as the signal would; a name that is no longer this
  // process's file is left to its new owner. A folder that is missing or not
  // writable gives no lock of our own, and 0.
  uint32_t Acquire(const char16_t* devicePath) override;
  void Release() override;

  // The lock names under which others may hold a port known by these paths;
  // none that is too long for a file name.
  static std::vector<std::string> LockNamesFor(const std::vector<std::string>& paths);

 private:
  std::string m_strFolder;
};

}  // namespace halvorn
