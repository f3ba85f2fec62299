// One AT command exchange: open the port at a speed, send the command with
// CR LF, give the modem one second, take what arrived, let a modem that is
// still talking finish, purge and close.
#pragma once

#include <cstdint>
#include <string_view>

#include "serial/comm.h"
#include "text/wide_string.h"

namespace halvorn {

constexpr uint32_t kReplyCapacity = 250;      // reply bytes kept, without the zero
constexpr uint32_t kReplyWaitMs = 1000;       // the whole time the modem gets
constexpr uint32_t kWriteTimeoutMs = 5000;    // a modem holding XOFF fails the write
constexpr uint32_t kCommQueueSize = 10000;    // driver queues, input and output
// A reply still being sent is drained until the line has been quiet for
// 50 ms and 24 character times, for at most 2048 character times (1 to 20 s).
constexpr uint32_t kDrainQuietMs = 50;
constexpr uint32_t kDrainQuietCharacters = 24;
constexpr uint32_t kDrainLimitCharacters = 2048;
constexpr uint32_t kDrainLimitMinMs = 1000;
constexpr uint32_t kDrainLimitMaxMs = 20000;

// Whether the last line of reply is a final result code (OK, ERROR, BUSY,
// NO CARRIER, NO DIALTONE, NO ANSWER, CONNECT..., +CME/+CMS ERROR...), in any
// letter case: the modem has finished answering.
bool EndsWithFinalResult(std::string_view reply);

// Sends command (8-bit text without line end) and CR LF to the device portName
// at speed, and leaves the reply (at most 250 bytes, zero-terminated) at the
// start of reply, which holds at least 251 bytes. A reply that has not ended
// (no final result code, or more bytes waiting) is drained before the purge,
// so that its rest never reaches a later exchange. Serial failures raise
// CSerialException*, with the port closed. A speed that the port cannot run is
// no failure: false, with nothing sent, no wait and an empty reply.
bool SendATCommand(CommApi& comm, const char* command, WideString portName, uint32_t speed,
                   char* reply);

}  // namespace halvorn
