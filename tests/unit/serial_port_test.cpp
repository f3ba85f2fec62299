#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "fakes/fake_comm.h"

namespace halvorn {
namespace {

using testing::FakeComm;
using testing::SerialErrorOf;

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
    ASSERT_EQ(comm.dcbsSet.size(), 1u);
    EXPECT_EQ(comm.dcbsSet[0], expected);
  }
}

TEST(SerialPort, OpenOnAnOpenPortClosesTheOldHandlesFirst) {
  FakeComm comm;
  CSerialPort port(comm);
  port.Open(u"A", 9600);
  comm.calls.clear();
  port.Open(u"B", 19200);
  ASSERT_GE(comm.calls.size(), 3u);
  EXPECT_EQ(comm.calls[0], "CloseHandle port");
  EXPECT_EQ(comm.calls[1], "CloseHandle event");
  EXPECT_EQ(comm.calls[2], "OpenComm B");
  EXPECT_EQ(comm.open, (std::set<CommHandle>{FakeComm::kFirstPort + 1, FakeComm::kFirstEvent + 1}));
  port.Close();
  port.Close();  // the fake fails a second close of the same handles
}

TEST(SerialException, ZeroCodeTakesTheLastError) {
  FakeComm comm;
  comm.lastError = 5;
  EXPECT_EQ(SerialErrorOf([&] { ThrowSerialException(comm, 0); }), 5u);
  EXPECT_EQ(SerialErrorOf([&] { ThrowSerialException(comm, 1460); }), 1460u);
}

TEST(SerialException, MessageIsCutToTheCapacityAndHasNoHelpContext) {
  FakeComm comm;
  comm.messages[2] = u"The system cannot find the file specified.\r\n";
  struct Case {
    uint32_t code, capacity;
    bool known;
    std::u16string text;
  };
  for (const Case& c : {Case{2, 64, true, u"The system cannot find the file specified.\r\n"},
                        Case{2, 11, true, u"The system"}, Case{2, 1, true, u""},
                        Case{0xDEAD, 8, false, u""}}) {
    CSerialException* failure = new CSerialException(comm, c.code);
    char16_t text[64] = u"junk";
    uint32_t help = 77;
    EXPECT_EQ(failure->GetErrorMessage(text, c.capacity, &help), c.known);
    EXPECT_EQ(std::u16string(text), c.text);
    EXPECT_EQ(help, 0u);
    failure->Delete();
  }
}

}  // namespace
}  // namespace halvorn
