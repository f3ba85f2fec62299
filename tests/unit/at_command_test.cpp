// The serial port and the AT exchange against the fake serial seam.
#include "serial/at_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fakes/fake_comm.h"

namespace halvorn {
namespace {

using testing::FakeComm;

// Runs one exchange into a reply buffer that starts out as 'x' throughout, so
// that a byte written past the reply shows.
uint32_t Exchange(FakeComm& comm, const std::string& command, char* reply, uint32_t speed = 9600) {
  std::fill_n(reply, 1024, 'x');
  return testing::SerialErrorOf(
      [&] { SendATCommand(comm, command.c_str(), WideString(u"\\\\.\\COM3"), speed, reply); });
}

TEST(SendATCommand, OneExchangeInOrder) {
  FakeComm comm;
  comm.incoming = "\r\nOK\r\n";
  char reply[1024];
  ASSERT_EQ(Exchange(comm, "ATQ0V1E0", reply, 115200), 0u);
  EXPECT_EQ(comm.calls,
            (std::vector<std::string>{
                "OpenComm \\\\.\\COM3", "CreateManualResetEvent", "GetCommState",
                "SetCommState 115200", "SetupComm 10000 10000",
                "SetCommTimeouts 4294967295 0 0 0 5000", "WriteComm 10", "Sleep 1000",
                "ClearCommError", "ReadComm 250", "PurgeComm 4", "PurgeComm 8", "FlushFileBuffers",
                "CloseHandle port", "CloseHandle event"}));
  EXPECT_TRUE(comm.open.empty());
}

// Commands of any length go out whole; replies are cut at 250 bytes and the
// rest is purged.
TEST(SendATCommand, CommandGoesOutWholeAndTheReplyIsCutAt250) {
  std::string longAnswer;
  for (int i = 0; i < 300; ++i) longAnswer.push_back(static_cast<char>('A' + i % 26));
  for (const auto& [length, answer] : {std::pair<size_t, std::string>{0, ""}, {50, longAnswer}, {600, "OK"}}) {
    FakeComm comm;
    comm.incoming = answer;
    const std::string command(length, 'S');
    char reply[1024];
    ASSERT_EQ(Exchange(comm, command, reply), 0u);
    EXPECT_EQ(comm.wire, command + "\r\n");
    EXPECT_EQ(std::string(reply), answer.substr(0, 250));
    EXPECT_EQ(reply[251], 'x');  // nothing written past the terminator
    EXPECT_TRUE(comm.incoming.empty());
  }
}

TEST(SendATCommand, EveryFailingStepRaisesItsCodeAndLeavesThePortClosed) {
  const std::vector<std::pair<std::string, uint32_t>> steps = {
      {"OpenComm", 2},     {"CreateManualResetEvent", 8}, {"GetCommState", 31},
      {"SetCommState", 87}, {"SetupComm", 1784},          {"SetCommTimeouts", 1117},
      {"WriteComm", 995},  {"ClearCommError", 22},        {"ReadComm", 1117},
      {"PurgeComm 4", 6},  {"PurgeComm 8", 21},           {"FlushFileBuffers", 1167}};
  for (const auto& [failing, code] : steps) {
    SCOPED_TRACE(failing);
    FakeComm comm;
    comm.incoming = "OK";
    comm.failures[failing] = code;
    char reply[1024];
    EXPECT_EQ(Exchange(comm, "AT", reply), code);
    EXPECT_TRUE(comm.open.empty());
    // Nothing but closing follows the failed call.
    auto later = std::find_if(comm.calls.begin(), comm.calls.end(),
                              [&](const std::string& call) { return call.rfind(failing, 0) == 0; });
    ASSERT_NE(later, comm.calls.end());
    while (++later != comm.calls.end()) EXPECT_EQ(later->rfind("CloseHandle", 0), 0u) << *later;
  }
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
    expected.BaudRate = 14400;
    expected.ByteSize = 8;
    expected.Parity = kNoParity;
    expected.StopBits = kOneStopBit;
    expected.fOutX = expected.fInX = 1;
    expected.XonChar = 0x11;
    expected.XoffChar = 0x13;
    expected.XonLim = expected.XoffLim = 100;
    expected.fDtrControl = kDtrControlEnable;
    expected.fOutxCtsFlow = expected.fOutxDsrFlow = expected.fDsrSensitivity = 0;
    EXPECT_EQ(comm.dcbSet, expected);
  }
}

}  // namespace
}  // namespace halvorn
