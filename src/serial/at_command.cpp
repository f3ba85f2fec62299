#include "serial/at_command.h"

#include <algorithm>
#include <cctype>
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

constexpr std::string_view kFinalResults[] = {"OK", "ERROR", "BUSY", "NO CARRIER",
                                              "NO DIALTONE", "NO DIAL TONE", "NO ANSWER"};
// These carry more after the word: a speed, a protocol, an error number.
constexpr std::string_view kFinalResultPrefixes[] = {"CONNECT", "+CME ERROR", "+CMS ERROR"};

bool SameLetters(std::string_view text, std::string_view word) {
  return text.size() == word.size() &&
         std::equal(text.begin(), text.end(), word.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == b;
         });
}

uint32_t CharacterTimesMs(uint32_t characters, uint32_t speed) {
  if (speed == 0) return kDrainLimitMaxMs;
  // Ten bits a character: start bit, 8 data bits, stop bit.
  return static_cast<uint32_t>((uint64_t{characters} * 10 * 1000 + speed - 1) / speed);
}

// Reads and drops what the modem still sends until the line has been quiet
// for a few character times: a modem ignores commands while it prints, and
// the rest of its text would stand in for the next command's reply. The
// bound keeps a modem that never stops from holding the run.
void DrainLine(CommApi& comm, CommHandle port, uint32_t speed) {
  const uint32_t quietMs = kDrainQuietMs + CharacterTimesMs(kDrainQuietCharacters, speed);
  const uint32_t limitMs =
      std::clamp(CharacterTimesMs(kDrainLimitCharacters, speed), kDrainLimitMinMs, kDrainLimitMaxMs);
  const uint32_t pollMs = std::min<uint32_t>(10, quietMs);
  const uint32_t start = comm.GetTickCount();
  uint32_t lastByte = start;
  char discarded[256];
  for (;;) {
    uint32_t errors = 0;
    ComStat status;
    if (!comm.ClearCommError(port, errors, status)) ThrowSerialException(comm, comm.GetLastError());
    const uint32_t now = comm.GetTickCount();
    if (now - start >= limitMs) return;
    if (status.cbInQue > 0) {
      uint32_t read = 0;
      if (!comm.ReadComm(port, discarded, sizeof discarded, read))
        ThrowSerialException(comm, comm.GetLastError());
      lastByte = now;
      continue;
    }
    if (now - lastByte >= quietMs) return;
    comm.Sleep(pollMs);
  }
}

}  // namespace

bool EndsWithFinalResult(std::string_view reply) {
  const size_t end = reply.find_last_not_of("\r\n");
  if (end == std::string_view::npos) return false;
  reply = reply.substr(0, end + 1);
  const size_t lineStart = reply.find_last_of("\r\n");
  const std::string_view line = reply.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1);
  for (std::string_view word : kFinalResults)
    if (SameLetters(line, word)) return true;
  for (std::string_view word : kFinalResultPrefixes)
    if (SameLetters(line.substr(0, word.size()), word)) return true;
  return false;
}

bool SendATCommand(CommApi& comm, const char* command, WideString portName, uint32_t speed,
                   char* reply) {
  CSerialPort port(comm);
  if (!port.OpenIfSpeedRuns(portName.c_str(), speed)) {
    std::memset(reply, 0, kReplyCapacity + 1);
    return false;
  }

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
  uint32_t read = 0;
  if (status.cbInQue > 0) {
    if (!comm.ReadComm(port.m_hComm, reply, kReplyCapacity, read))
      ThrowSerialException(comm, comm.GetLastError());
    // A reply that has ended costs one look at the queue and no wait.
    if (!comm.ClearCommError(port.m_hComm, errors, status))
      ThrowSerialException(comm, comm.GetLastError());
  }
  // A full reply still ends in a zero; the caller's buffer has room for it.
  reply[kReplyCapacity] = '\0';
  if (status.cbInQue > 0 || (read > 0 && !EndsWithFinalResult(std::string_view(reply, read))))
    DrainLine(comm, port.m_hComm, speed);

  // Whatever did not fit, or came after the read, must not reach the next exchange.
  if (!comm.PurgeComm(port.m_hComm, kPurgeTxClear)) ThrowSerialException(comm, comm.GetLastError());
  if (!comm.PurgeComm(port.m_hComm, kPurgeRxClear)) ThrowSerialException(comm, comm.GetLastError());
  if (!comm.FlushFileBuffers(port.m_hComm)) ThrowSerialException(comm, comm.GetLastError());
  return true;
}

}  // namespace halvorn
