#include "serial/at_command.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "serial/serial_port.h"

namespace halvorn {

namespace {

// Reads never wait; a write that the modem holds back with XOFF gets five
// seconds before the exchange gives up instead of hanging the run.
constexpr CommTimeouts kExchangeTimeouts = {kMaxDword, 0, 0, 0, kWriteTimeoutMs};

// The command, CR LF and a zero; grows past the usual 52 bytes for a longer
// command, so that it always goes out whole.
std::vector<char> BuildTransmitText(const char* command) {
  const size_t length = std::strlen(command);
  std::vector<char> text(std::max<size_t>(length + 3, 52), '\0');
  std::memcpy(text.data(), command, length);
  text[length] = '\r';
  text[length + 1] = '\n';
  return text;
}

}  // namespace

void SendATCommand(CommApi& comm, const char* command, WideString portName, uint32_t speed,
                   char* reply) {
  CSerialPort port(comm);
  port.Open(portName.c_str(), speed);

  if (!comm.SetupComm(port.m_hComm, kCommQueueSize, kCommQueueSize))
    ThrowSerialException(comm, comm.GetLastError());
  if (!comm.SetCommTimeouts(port.m_hComm, kExchangeTimeouts))
    ThrowSerialException(comm, comm.GetLastError());

  const std::vector<char> text = BuildTransmitText(command);
  const uint32_t length = static_cast<uint32_t>(std::strlen(command) + 2);
  uint32_t written = 0;
  if (!comm.WriteComm(port.m_hComm, text.data(), length, written))
    ThrowSerialException(comm, comm.GetLastError());
  if (written != length) ThrowSerialException(comm, comm.TimeoutError());

  comm.Sleep(kReplyWaitMs);

  std::memset(reply, 0, kReplyCapacity);
  uint32_t errors = 0;
  ComStat status;
  if (!comm.ClearCommError(port.m_hComm, errors, status))
    ThrowSerialException(comm, comm.GetLastError());
  if (status.cbInQue > 0) {
    uint32_t read = 0;
    if (!comm.ReadComm(port.m_hComm, reply, kReplyCapacity, read))
      ThrowSerialException(comm, comm.GetLastError());
  }
  // A full reply still ends in a zero; the caller's buffer has room for it.
  reply[kReplyCapacity] = '\0';

  // Whatever did not fit, or came after the read, must not reach the next exchange.
  if (!comm.PurgeComm(port.m_hComm, kPurgeTxClear)) ThrowSerialException(comm, comm.GetLastError());
  if (!comm.PurgeComm(port.m_hComm, kPurgeRxClear)) ThrowSerialException(comm, comm.GetLastError());
  if (!comm.FlushFileBuffers(port.m_hComm)) ThrowSerialException(comm, comm.GetLastError());
}

}  // namespace halvorn
