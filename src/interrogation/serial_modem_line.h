// The modem line on a real serial port: one SendATCommand per exchange and the
// platform's own pause.
#pragma once

#include "interrogation/modem_line.h"
#include "serial/at_command.h"
#include "serial/comm.h"

namespace halvorn {

class SerialModemLine final : public ModemLine {
 public:
  explicit SerialModemLine(CommApi& comm) : m_rComm(comm) {}

  void Exchange(const char* command, const WideString& devicePath, uint32_t speed,
                char* reply) override {
    SendATCommand(m_rComm, command, devicePath, speed, reply);
  }
  void Pause(uint32_t milliseconds) override { m_rComm.Sleep(milliseconds); }

 private:
  CommApi& m_rComm;
};

}  // namespace halvorn
