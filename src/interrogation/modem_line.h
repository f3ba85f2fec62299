// What the modem interrogation needs of the serial line: the port reserved
// for the run, one AT exchange and a pause. The real line runs SendATCommand on the platform's serial calls; tests
// put a scripted modem here and never wait.
#pragma once

#include <cstdint>

#include "text/wide_string.h"

namespace halvorn {

class ModemLine {
 public:
  virtual ~ModemLine() = default;
  // Reserves the port for the whole run, before anything is sent: a port
  // that another program holds raises CSerialException* (busy).
  virtual void Reserve(const WideString& devicePath) = 0;
  // Gives the reservation up; nothing when none is held.
  virtual void Release() = 0;
  // Sends command with CR LF at speed and leaves the reply (at most 250 bytes,
  // zero-terminated) at the start of reply. Serial failures are thrown as
  // CSerialException*.
  virtual void Exchange(const char* command, const WideString& devicePath, uint32_t speed,
                        char* reply) = 0;
  // As Exchange, for a speed that is only being tried: one that the port
  // cannot run sends nothing and leaves an empty reply, without a failure.
  virtual void ExchangeIfSpeedRuns(const char* command, const WideString& devicePath,
                                   uint32_t speed, char* reply) = 0;
  virtual void Pause(uint32_t milliseconds) = 0;
};

}  // namespace halvorn
