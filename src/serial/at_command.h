// One AT command exchange: open the port at a speed, send the command with
// CR LF, give the modem one second, take what arrived, purge and close.
#pragma once

#include <cstdint>

#include "serial/comm.h"
#include "text/wide_string.h"

namespace halvorn {

constexpr uint32_t kReplyCapacity = 250;      // reply bytes kept, without the zero
constexpr uint32_t kReplyWaitMs = 1000;       // the whole time the modem gets
constexpr uint32_t kWriteTimeoutMs = 5000;    // a modem holding XOFF fails the write
constexpr uint32_t kCommQueueSize = 10000;    // driver queues, input and output

// Sends command (8-bit text without line end) and CR LF to the device portName
// at speed, and leaves the reply (at most 250 bytes, zero-terminated) at the
// start of reply, which holds at least 251 bytes. Serial failures raise
// CSerialException*, with the port closed.
void SendATCommand(CommApi& comm, const char* command, WideString portName, uint32_t speed,
                   char* reply);

}  // namespace halvorn
