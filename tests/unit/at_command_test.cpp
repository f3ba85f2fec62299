// The serial port and the AT exchange against the fake serial seam (the real
// binary's exchanges: tests/e2e/query_*.sh).
#include "serial/at_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_comm.h"
#include "interrogation/serial_modem_line.h"

namespace halvorn {
namespace {

using testing::FakeComm;

class NullPortLock final : public PortLock {
 public:
  uint32_t Acquire(const char16_t*) override { return 0; }
  void Release() override {}
};

uint32_t Exchange(FakeComm& comm, const std::string& command, char* reply, uint32_t speed = 9600) {
  return testing::SerialErrorOf(
      [&] { SendATCommand(comm, command.c_str(), WideString(u"\\\\.\\COM3"), speed, reply); });
}

// A long command goes out whole; the reply is cut at 250 bytes, nothing is
// written past its terminator and the rest is purged.
TEST(SendATCommand, CommandGoesOutWholeAndTheReplyIsCutAt250) {
  FakeComm comm;
  for (int i = 0; i < 300; ++i) comm.incoming.push_back(static_cast<char>('A' + i % 26));
  const std::string answer = comm.incoming, command(600, 'S');
  char reply[1024];
  std::fill_n(reply, sizeof reply, 'x');
  ASSERT_EQ(Exchange(comm, command, reply), 0u);
  EXPECT_EQ(comm.wire, command + "\r\n");
  EXPECT_EQ(std::string(reply), answer.substr(0, 250));
  EXPECT_EQ(reply[251], 'x');
  EXPECT_TRUE(comm.incoming.empty());
  EXPECT_TRUE(comm.open.empty());
}

// A modem still talking after the second: the exchange takes the first
// second's bytes and drops the rest until the line is quiet (also the rest of
// a reply cut at 250 bytes); one that never stops is left after the bound. A
// reply that has ended costs no wait beyond the second.
TEST(SendATCommand, AModemStillTalkingIsDrainedBeforeTheNextExchange) {
  struct Case {
    const char* what;
    std::string first;      // there after the second
    uint32_t talksUntilMs;  // one byte every 8 ms (1200 bps) until then
    uint32_t doneByMs;
  };
  for (const Case& c : {Case{"complete", "\r\n56000\r\n\r\nok\r\n", 0, 1000},
                        Case{"long dump", "\r\nUSRobotics Courier", 6000, 6000 + 300},
                        Case{"cut at 250, more waiting", std::string(300, 'x') + "\r\nOK\r\n", 1100, 1100 + 300},
                        Case{"never stops", "S00=000", 100000, 1000 + 17100}}) {
    SCOPED_TRACE(c.what);
    FakeComm comm;
    comm.incoming = c.first;
    for (uint32_t at = 1008; at < c.talksUntilMs; at += 8) comm.arriving.push_back({at, "x"});
    char reply[1024];
    ASSERT_EQ(Exchange(comm, "ATI4", reply, 1200), 0u);
    EXPECT_EQ(std::string(reply), c.first.substr(0, 250));
    EXPECT_LE(comm.now, c.doneByMs);
    if (c.talksUntilMs < c.doneByMs) {
      EXPECT_GE(comm.now, c.talksUntilMs);
      EXPECT_TRUE(comm.arriving.empty());
    }
  }
}

// One step of opening, of the exchange and of closing.
TEST(SendATCommand, FailingStepsRaiseTheirCodeAndLeaveThePortClosed) {
  for (const auto& [failing, code] : std::vector<std::pair<std::string, uint32_t>>{
           {"OpenComm", 2}, {"CreateManualResetEvent", 8}, {"SetCommState", 31},
           {"ReadComm", 1117}, {"FlushFileBuffers", 1167}}) {
    SCOPED_TRACE(failing);
    FakeComm comm;
    comm.incoming = "OK";
    comm.failures[failing] = code;
    char reply[1024];
    EXPECT_EQ(Exchange(comm, "AT", reply), code);
    EXPECT_TRUE(comm.open.empty());
    // Nothing but closing follows the failed call.
    auto later = std::find_if(comm.calls.begin(), comm.calls.end(),
                              [&](const std::string& call) { return call.starts_with(failing); });
    ASSERT_NE(later, comm.calls.end());
    while (++later != comm.calls.end()) EXPECT_TRUE(later->starts_with("CloseHandle")) << *later;
  }
}

// A speed the port cannot run (a 16550 asked for 460800): nothing is sent,
// nothing waited for, the reply is empty, with either platform's code. The
// same refusal at the speed the port runs already, or another code, is a
// failure; so is the refusal of a speed the probe found.
TEST(SendATCommand, ASpeedThePortCannotRunSendsNothing) {
  struct Case {
    const char* what;
    uint32_t invalidParameter, refusal;
    std::set<uint32_t> refused;
    uint32_t heldSpeed, raised;
  };
  for (const Case& c : {Case{"ERROR_INVALID_PARAMETER", 87, 87, {460800}, 115200, 0},
                        Case{"EINVAL", 22, 22, {460800}, 115200, 0},
                        Case{"refused at the held speed too", 87, 87, {460800, 115200}, 115200, 87},
                        Case{"held at that speed", 87, 87, {460800}, 460800, 87},
                        Case{"another code", 87, 31, {460800}, 115200, 31}}) {
    SCOPED_TRACE(c.what);
    FakeComm comm;
    comm.invalidParameter = c.invalidParameter, comm.speedRefusal = c.refusal;
    comm.refusedSpeeds = c.refused, comm.driverDcb.BaudRate = c.heldSpeed, comm.incoming = "OK";
    char reply[1024];
    std::fill_n(reply, sizeof reply, 'x');
    EXPECT_EQ(Exchange(comm, "ATQ0V1E0", reply, 460800), c.raised);
    EXPECT_EQ(comm.wire, "");
    EXPECT_EQ(std::count(comm.calls.begin(), comm.calls.end(), "Sleep"), 0);
    EXPECT_TRUE(comm.open.empty());
    if (c.raised == 0) {
      EXPECT_EQ(std::string(reply, 252), std::string(251, '\0') + "x");
    }
  }
  FakeComm comm;
  NullPortLock lock;
  comm.refusedSpeeds = {460800}, comm.driverDcb.BaudRate = 9600;
  SerialModemLine line(comm, lock);
  char reply[1024];
  EXPECT_EQ(testing::SerialErrorOf([&] { line.Exchange("ATI0", WideString(u"COM1"), 460800, reply); }), 87u);
}

// Open on a driver state of all zero bits and then of all one bits: a field
// that Open should set but does not, or one it should leave but changes, shows
// in at least one of them.
TEST(SerialPort, OpenChangesTheFramingFieldsAndNothingElse) {
  for (int bits : {0x00, 0xFF}) {
    SCOPED_TRACE(bits);
    FakeComm comm;
    std::memset(static_cast<void*>(&comm.driverDcb), bits, sizeof(Dcb));
    CSerialPort port(comm);
    port.Open(u"\\\\.\\COM2", 14400);

    Dcb expected = comm.driverDcb;
    expected.BaudRate = 14400, expected.ByteSize = 8, expected.Parity = kNoParity, expected.StopBits = kOneStopBit;
    expected.fOutX = expected.fInX = 1, expected.XonChar = 0x11, expected.XoffChar = 0x13;
    expected.XonLim = expected.XoffLim = 100, expected.fDtrControl = kDtrControlEnable;
    expected.fOutxCtsFlow = expected.fOutxDsrFlow = expected.fDsrSensitivity = 0;
    EXPECT_EQ(comm.dcbSet, expected);
  }
}

}  // namespace
}  // namespace halvorn
