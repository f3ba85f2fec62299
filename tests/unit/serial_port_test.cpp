#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_comm.h"

namespace halvorn {
namespace {

using Calls = std::vector<std::string>;

// A driver state in which every field differs from what Open sets, so that a
// field changed by mistake, or one that should change but did not, shows.
Dcb DriverDefaults() {
  Dcb dcb;
  dcb.DCBlength = 28;
  dcb.BaudRate = 1200;
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.fOutxCtsFlow = 1;
  dcb.fOutxDsrFlow = 1;
  dcb.fDtrControl = kDtrControlHandshake;
  dcb.fDsrSensitivity = 1;
  dcb.fTXContinueOnXoff = 1;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 1;
  dcb.fNull = 1;
  dcb.fRtsControl = kRtsControlHandshake;
  dcb.fAbortOnError = 1;
  dcb.fDummy2 = 0x1ABCD;
  dcb.wReserved = 7;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 7;
  dcb.Parity = kEvenParity;
  dcb.StopBits = kTwoStopBits;
  dcb.XonChar = 'q';
  dcb.XoffChar = 's';
  dcb.ErrorChar = '?';
  dcb.EofChar = 0x1A;
  dcb.EvtChar = '\n';
  dcb.wReserved1 = 9;
  return dcb;
}

uint32_t CaughtCode(const std::function<void()>& run) {
  try {
    run();
  } catch (CSerialException* failure) {
    const uint32_t code = failure->m_dwError;
    failure->Delete();
    return code;
  }
  ADD_FAILURE() << "no CSerialException";
  return 0;
}

TEST(SerialPort, ConstructionLooksUpCancelIoOnly) {
  testing::FakeComm comm;
  CSerialPort port(comm);
  EXPECT_EQ(port.m_hComm, kInvalidCommHandle);
  EXPECT_EQ(port.m_hEvent, kNullCommHandle);
  EXPECT_EQ(port.m_hKernel32, comm.kernel32);
  EXPECT_EQ(port.m_lpfnCancelIo, comm.kernel32 + 0x1234);
  EXPECT_EQ(comm.calls, (Calls{"GetKernel32Module", "GetCancelIoEntry"}));

  testing::FakeComm noKernel;
  noKernel.kernel32 = 0;
  CSerialPort bare(noKernel);
  EXPECT_EQ(bare.m_lpfnCancelIo, 0u);
  EXPECT_EQ(noKernel.calls, (Calls{"GetKernel32Module"}));
}

TEST(SerialPort, OpenChangesTheFramingFieldsAndNothingElse) {
  testing::FakeComm comm;
  comm.driverDcb = DriverDefaults();
  CSerialPort port(comm);
  port.Open(u"\\\\.\\COM2", 14400);

  EXPECT_EQ(comm.dcbLengthAsked, 28u);
  ASSERT_EQ(comm.dcbsSet.size(), 1u);
  Dcb expected = DriverDefaults();
  expected.BaudRate = 14400;
  expected.fOutxCtsFlow = 0;
  expected.fOutxDsrFlow = 0;
  expected.fDtrControl = kDtrControlEnable;
  expected.fDsrSensitivity = 0;
  expected.fOutX = 1;
  expected.fInX = 1;
  expected.XonLim = 100;
  expected.XoffLim = 100;
  expected.ByteSize = 8;
  expected.Parity = kNoParity;
  expected.StopBits = kOneStopBit;
  expected.XonChar = 0x11;
  expected.XoffChar = 0x13;
  EXPECT_EQ(comm.dcbsSet[0], expected);
  EXPECT_EQ(comm.calls, (Calls{"GetKernel32Module", "GetCancelIoEntry", "OpenComm \\\\.\\COM2",
                               "CreateManualResetEvent", "GetCommState", "SetCommState 14400"}));
  EXPECT_EQ(comm.open.size(), 2u);
}

TEST(SerialPort, EachOpenStepRaisesItsOwnCode) {
  struct Case {
    const char* failing;
    uint32_t code;
    bool stayOpen;  // settings refused: the port stays open until its owner closes it
  };
  for (const Case& c : {Case{"OpenComm", 2, false}, Case{"CreateManualResetEvent", 8, false},
                        Case{"GetCommState", 31, true}, Case{"SetCommState", 87, true}}) {
    SCOPED_TRACE(c.failing);
    testing::FakeComm comm;
    comm.FailOn(c.failing, c.code);
    {
      CSerialPort port(comm);
      EXPECT_EQ(CaughtCode([&] { port.Open(u"\\\\.\\COM1", 9600); }), c.code);
      EXPECT_EQ(port.m_hComm != kInvalidCommHandle, c.stayOpen);
      EXPECT_EQ(!comm.open.empty(), c.stayOpen);
      EXPECT_EQ(comm.dcbsSet.size(), 0u);
    }
    EXPECT_TRUE(comm.open.empty());
  }
}

TEST(SerialPort, OpenOnAnOpenPortClosesTheOldHandlesFirst) {
  testing::FakeComm comm;
  CSerialPort port(comm);
  port.Open(u"A", 9600);
  comm.calls.clear();
  port.Open(u"B", 19200);
  ASSERT_GE(comm.calls.size(), 3u);
  EXPECT_EQ(comm.calls[0], "CloseHandle port");
  EXPECT_EQ(comm.calls[1], "CloseHandle event");
  EXPECT_EQ(comm.calls[2], "OpenComm B");
  EXPECT_EQ(comm.open, (std::set<CommHandle>{testing::FakeComm::kFirstPort + 1,
                                             testing::FakeComm::kFirstEvent + 1}));
}

TEST(SerialPort, CloseIsIdempotentAndDestructionClosesOnce) {
  testing::FakeComm comm;
  {
    CSerialPort port(comm);
    port.Close();
    port.Open(u"A", 9600);
    port.Close();
    port.Close();
  }
  {
    CSerialPort port(comm);
    port.Open(u"A", 9600);
  }
  int closes = 0;
  for (const std::string& call : comm.calls) {
    EXPECT_NE(call, "CloseHandle unknown");
    closes += call.rfind("CloseHandle", 0) == 0;
  }
  EXPECT_EQ(closes, 4);
  EXPECT_TRUE(comm.open.empty());
}

TEST(SerialException, ZeroCodeTakesTheLastError) {
  testing::FakeComm comm;
  comm.lastError = 5;
  EXPECT_EQ(CaughtCode([&] { ThrowSerialException(comm); }), 5u);
  EXPECT_EQ(CaughtCode([&] { ThrowSerialException(comm, 0); }), 5u);
  EXPECT_EQ(CaughtCode([&] { ThrowSerialException(comm, 1460); }), 1460u);
}

TEST(SerialException, IsAnExceptionOfItsOwnClass) {
  testing::FakeComm comm;
  try {
    ThrowSerialException(comm, 2);
  } catch (CException* failure) {
    EXPECT_STREQ(failure->GetRuntimeClass()->m_lpszClassName, "CSerialException");
    EXPECT_TRUE(failure->IsKindOf(&CException::classCException));
    EXPECT_TRUE(failure->IsKindOf(&CObject::classCObject));
    EXPECT_TRUE(failure->m_bAutoDelete);
    failure->Delete();
  }
}

TEST(SerialException, MessageIsCutToTheCapacity) {
  testing::FakeComm comm;
  comm.messages[2] = u"The system cannot find the file specified.\r\n";
  CSerialException* failure = new CSerialException(comm, 2);
  char16_t text[64];
  uint32_t help = 77;

  EXPECT_TRUE(failure->GetErrorMessage(text, 64, &help));
  EXPECT_EQ(std::u16string(text), u"The system cannot find the file specified.\r\n");
  EXPECT_EQ(help, 0u);

  EXPECT_TRUE(failure->GetErrorMessage(text, 11));
  EXPECT_EQ(std::u16string(text), u"The system");

  EXPECT_TRUE(failure->GetErrorMessage(text, 1));
  EXPECT_EQ(text[0], u'\0');
  failure->Delete();
}

TEST(SerialException, UnknownCodeGivesEmptyTextAndStillClearsTheHelpContext) {
  testing::FakeComm comm;
  CSerialException* failure = new CSerialException(comm, 0xDEAD);
  char16_t text[8] = u"junk";
  uint32_t help = 77;
  EXPECT_FALSE(failure->GetErrorMessage(text, 8, &help));
  EXPECT_EQ(text[0], u'\0');
  EXPECT_EQ(help, 0u);
  failure->Delete();
}

}  // namespace
}  // namespace halvorn
