#include "serial/at_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/fake_comm.h"
#include "serial/serial_port.h"

namespace halvorn {
namespace {

using Calls = std::vector<std::string>;

const WideString kPort(u"\\\\.\\COM3");

struct Reply {
  char bytes[1024];
  Reply() { std::fill(std::begin(bytes), std::end(bytes), 'x'); }
};

// Runs one exchange and gives the code it raised, or 0.
uint32_t Exchange(testing::FakeComm& comm, const char* command, Reply& reply,
                  uint32_t speed = 9600) {
  try {
    SendATCommand(comm, command, kPort, speed, reply.bytes);
  } catch (CSerialException* failure) {
    const uint32_t code = failure->m_dwError;
    failure->Delete();
    return code;
  }
  return 0;
}

TEST(SendATCommand, OneExchangeInOrder) {
  testing::FakeComm comm;
  comm.incoming = "\r\nOK\r\n";
  Reply reply;
  ASSERT_EQ(Exchange(comm, "ATQ0V1E0", reply, 115200), 0u);

  EXPECT_EQ(comm.calls,
            (Calls{"GetKernel32Module", "GetCancelIoEntry", "OpenComm \\\\.\\COM3",
                   "CreateManualResetEvent", "GetCommState", "SetCommState 115200",
                   "SetupComm 10000 10000", "SetCommTimeouts", "WriteComm 10", "Sleep 1000",
                   "ClearCommError", "ReadComm 250", "PurgeComm 4", "PurgeComm 8",
                   "FlushFileBuffers", "CloseHandle port", "CloseHandle event"}));
  EXPECT_EQ(comm.wire, std::string("ATQ0V1E0\r\n"));
  EXPECT_STREQ(reply.bytes, "\r\nOK\r\n");
  ASSERT_EQ(comm.timeoutsSet.size(), 1u);
  EXPECT_EQ(comm.timeoutsSet[0], (CommTimeouts{0xFFFFFFFF, 0, 0, 0, 5000}));
  EXPECT_TRUE(comm.open.empty());
}

TEST(SendATCommand, SilentModemGivesAnEmptyReplyWithoutReading) {
  testing::FakeComm comm;
  Reply reply;
  ASSERT_EQ(Exchange(comm, "AT", reply), 0u);
  EXPECT_EQ(std::string(reply.bytes, 251), std::string(251, '\0'));
  for (const std::string& call : comm.calls) EXPECT_NE(call, "ReadComm 250");
  EXPECT_TRUE(comm.open.empty());
}

TEST(SendATCommand, LongReplyKeepsTheFirst250BytesAndPurgesTheRest) {
  testing::FakeComm comm;
  std::string answer;
  for (int i = 0; i < 300; ++i) answer.push_back(static_cast<char>('A' + i % 26));
  comm.incoming = answer;
  Reply reply;
  ASSERT_EQ(Exchange(comm, "ATI4", reply), 0u);
  EXPECT_EQ(std::string(reply.bytes), answer.substr(0, 250));
  EXPECT_EQ(reply.bytes[251], 'x');  // nothing written past the terminator
  EXPECT_TRUE(comm.incoming.empty());
}

TEST(SendATCommand, CommandsOfAnyLengthGoOutWhole) {
  for (size_t length : {0u, 1u, 49u, 50u, 120u, 600u}) {
    SCOPED_TRACE(length);
    testing::FakeComm comm;
    const std::string command(length, 'S');
    Reply reply;
    ASSERT_EQ(Exchange(comm, command.c_str(), reply), 0u);
    EXPECT_EQ(comm.wire, command + "\r\n");
  }
}

TEST(SendATCommand, EveryFailingStepRaisesItsCodeAndLeavesThePortClosed) {
  struct Case {
    const char* failing;
    uint32_t code;
  };
  for (const Case& c : {Case{"OpenComm", 2}, Case{"CreateManualResetEvent", 8},
                        Case{"GetCommState", 31}, Case{"SetCommState", 87},
                        Case{"SetupComm", 1784}, Case{"SetCommTimeouts", 1117},
                        Case{"WriteComm", 995}, Case{"ClearCommError", 22},
                        Case{"ReadComm", 1117}, Case{"PurgeComm 4", 6}, Case{"PurgeComm 8", 21},
                        Case{"FlushFileBuffers", 1167}}) {
    SCOPED_TRACE(c.failing);
    testing::FakeComm comm;
    comm.incoming = "OK";
    comm.FailOn(c.failing, c.code);
    Reply reply;
    EXPECT_EQ(Exchange(comm, "AT", reply), c.code);
    EXPECT_TRUE(comm.open.empty());
    // Nothing but closing follows the failed call.
    auto failed = std::find_if(comm.calls.begin(), comm.calls.end(), [&](const std::string& call) {
      return call == c.failing || call.rfind(std::string(c.failing) + " ", 0) == 0;
    });
    ASSERT_NE(failed, comm.calls.end());
    for (auto later = failed + 1; later != comm.calls.end(); ++later)
      EXPECT_EQ(later->rfind("CloseHandle", 0), 0u) << *later;
  }
}

TEST(SendATCommand, WriteCutShortByItsTimeoutRaisesTheTimeoutCode) {
  testing::FakeComm comm;
  comm.writeLimit = 3;
  Reply reply;
  EXPECT_EQ(Exchange(comm, "ATQ0V1E0", reply), 1460u);
  EXPECT_EQ(comm.calls.back(), "CloseHandle event");
  for (const std::string& call : comm.calls) EXPECT_NE(call, "Sleep 1000");
  EXPECT_TRUE(comm.open.empty());
}

}  // namespace
}  // namespace halvorn
