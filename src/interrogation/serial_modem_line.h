// The modem line on a real serial port: the platform's port lock for the run,
// one SendATCommand per exchange and the platform's own pause.
#pragma once

#include "interrogation/modem_line.h"
#include "serial/at_command.h"
#include "serial/comm.h"
#include "serial/port_lock.h"
#include "serial/serial_port.h"

namespace halvorn {

class SerialModemLine final : public ModemLine {
 public:
  SerialModemLine(CommApi& comm, PortLock& lock) : m_rComm(comm), m_rLock(lock) {}

  void Reserve(const WideString& devicePath) override {
    const uint32_t error = m_rLock.Acquire(devicePath.c_str());
    if (error != 0) ThrowSerialException(m_rComm, error);
  }
  void Release() override { m_rLock.Release(); }

  void Exchange(const char* command, const WideString& devicePath, uint32_t speed,
                char* reply) override {
    // The commands go out at the speed the probe found; the port refusing it
    // now is a serial failure like any other.
    if (!SendATCommand(m_rComm, command, devicePath, speed, reply))
      ThrowSerialException(m_rComm, m_rComm.InvalidParameterError());
  }
  void ExchangeIfSpeedRuns(const char* command, const WideString& devicePath, uint32_t speed,
                           char* reply) override {
    SendATCommand(m_rComm, command, devicePath, speed, reply);
  }
  void Pause(uint32_t milliseconds) override { m_rComm.Sleep(milliseconds); }

 private:
  CommApi& m_rComm;
  PortLock& m_rLock;
};

}  // namespace halvorn
