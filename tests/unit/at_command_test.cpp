#include "serial/at_command.h"

#include <gtest/gtest.h>

#include <algorithm>
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
                "SetCommState 115200", "SetupComm 10000 10000", "SetCommTimeouts", "WriteComm 10",
                "Sleep 1000", "ClearCommError", "ReadComm 250", "PurgeComm 4", "PurgeComm 8",
                "FlushFileBuffers", "CloseHandle port", "CloseHandle event"}));
  EXPECT_EQ(comm.wire, "ATQ0V1E0\r\n");
  EXPECT_STREQ(reply, "\r\nOK\r\n");
  EXPECT_EQ(comm.timeoutsSet, (CommTimeouts{0xFFFFFFFF, 0, 0, 0, 5000}));
  EXPECT_TRUE(comm.open.empty());
}

TEST(SendATCommand, ReplyIsCutAt250AndTheRestPurged) {
  std::string longAnswer;
  for (int i = 0; i < 300; ++i) longAnswer.push_back(static_cast<char>('A' + i % 26));
  for (const std::string& answer : {std::string(), std::string("OK"), longAnswer}) {
    FakeComm comm;
    comm.incoming = answer;
    char reply[1024];
    ASSERT_EQ(Exchange(comm, "ATI4", reply), 0u);
    EXPECT_EQ(std::string(reply), answer.substr(0, 250));
    EXPECT_EQ(reply[251], 'x');  // nothing written past the terminator
    EXPECT_TRUE(comm.incoming.empty());
  }
}

TEST(SendATCommand, CommandsOfAnyLengthGoOutWhole) {
  for (size_t length : {0u, 49u, 50u, 600u}) {
    FakeComm comm;
    const std::string command(length, 'S');
    char reply[1024];
    ASSERT_EQ(Exchange(comm, command, reply), 0u);
    EXPECT_EQ(comm.wire, command + "\r\n");
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

TEST(SendATCommand, WriteCutShortByItsTimeoutRaisesTheTimeoutCode) {
  FakeComm comm;
  comm.writeLimit = 3;
  char reply[1024];
  EXPECT_EQ(Exchange(comm, "ATQ0V1E0", reply), 1460u);
  EXPECT_TRUE(comm.open.empty());
}

}  // namespace
}  // namespace halvorn
