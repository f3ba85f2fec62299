// The seam to the reservation of a serial port for a whole `query` run, so
// that no other program takes the port in the pauses between exchanges (each
// exchange opens and closes the port anew). On POSIX it is the UUCP lock
// file that pppd, minicom, mgetty and cu honour; on Windows every exchange
// holds the port unshared, which is all the platform offers.
#pragma once

#include <cstdint>

namespace halvorn {

class PortLock {
 public:
  virtual ~PortLock() = default;
  // Reserves the port that devicePath (such as \\.\COM1) names: 0 when the
  // run may use it, otherwise the platform's code for a busy port.
  virtual uint32_t Acquire(const char16_t* devicePath) = 0;
  // Gives the reservation up; nothing when none is held.
  virtual void Release() = 0;
};

}  // namespace halvorn
