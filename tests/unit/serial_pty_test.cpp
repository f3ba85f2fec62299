// The POSIX serial backend against a pseudo-terminal: the test holds the
// master side and plays the modem. The exchange's one-second wait is where the
// modem answers, so the tests wait for bytes, never for time.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>

#include "serial/at_command.h"
#include "serial/comm_posix.h"
#include "serial/comm_speed_linux.h"
#include "serial/serial_port.h"
#include "text/console.h"

namespace halvorn {
namespace {

constexpr int kPatienceMs = 10000;  // only ever reached when something is broken

class PseudoTerminal {
 public:
  PseudoTerminal() {
    char name[128] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) ADD_FAILURE() << "openpty";
    m_name = name;
  }
  ~PseudoTerminal() {
    close(m_master);
    close(m_slave);
  }

  const std::string& Name() const { return m_name; }
  WideString DevicePath() const { return WideString((std::string("\\\\.\\") + m_name).c_str()); }
  int Master() const { return m_master; }
  // The test's own descriptor of the port side; it keeps the terminal alive
  // between exchanges and shows how many bytes wait there.
  int Slave() const { return m_slave; }

  void Send(const std::string& bytes) const {
    ASSERT_EQ(write(m_master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // What the port side sent, up to and including end.
  std::string ReadUntil(const std::string& end) const {
    std::string heard;
    while (heard.size() < end.size() || heard.compare(heard.size() - end.size(), end.size(), end) != 0) {
      const std::string more = ReadFor(kPatienceMs);
      if (more.empty()) break;
      heard += more;
    }
    return heard;
  }

  // Whatever arrives within milliseconds.
  std::string ReadFor(int milliseconds) const {
    pollfd ready{m_master, POLLIN, 0};
    if (poll(&ready, 1, milliseconds) <= 0) return "";
    char buffer[4096];
    const ssize_t count = read(m_master, buffer, sizeof buffer);
    return count > 0 ? std::string(buffer, static_cast<size_t>(count)) : "";
  }

  // Blocks until count bytes wait on the port side.
  void AwaitWaiting(int count) const {
    for (int waited = 0; waited < kPatienceMs; waited += 5) {
      int waiting = 0;
      ASSERT_EQ(ioctl(m_slave, FIONREAD, &waiting), 0);
      if (waiting >= count) return;
      usleep(5000);
    }
    FAIL() << "modem bytes never arrived";
  }

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_name;
};

// The real backend, with the exchange's wait handed to the modem script and a
// hook once the port is configured.
class ScriptedComm final : public PosixComm {
 public:
  void Sleep(uint32_t milliseconds) override {
    waits.push_back(milliseconds);
    if (onWait) onWait();
  }
  bool SetCommTimeouts(CommHandle comm, const CommTimeouts& timeouts) override {
    const bool ok = PosixComm::SetCommTimeouts(comm, timeouts);
    if (onConfigured) onConfigured(comm);
    return ok;
  }

  std::function<void()> onWait;
  std::function<void(CommHandle)> onConfigured;
  std::vector<uint32_t> waits;
};

// A modem that hears one command line and answers it at once.
std::function<void()> Answering(const PseudoTerminal& pty, std::string& heard,
                                const std::string& answer) {
  return [&pty, &heard, answer] {
    heard = pty.ReadUntil("\r\n");
    if (answer.empty()) return;
    pty.Send(answer);
    pty.AwaitWaiting(static_cast<int>(answer.size()));
  };
}

uint32_t Exchange(CommApi& comm, const char* command, const WideString& port, char* reply,
                  uint32_t speed = 9600) {
  try {
    SendATCommand(comm, command, port, speed, reply);
  } catch (CSerialException* failure) {
    const uint32_t code = failure->m_dwError;
    failure->Delete();
    return code;
  }
  return 0;
}

TEST(PosixComm, DevicePathNamesTheFile) {
  struct Case {
    const char16_t* path;
    const char* file;
  };
  for (const Case& c : {Case{u"\\\\.\\COM1", "/dev/ttyS0"}, Case{u"\\\\.\\COM12", "/dev/ttyS11"},
                        Case{u"\\\\.\\com3", "/dev/ttyS2"}, Case{u"\\\\.\\COM0", "COM0"},
                        Case{u"\\\\.\\COM", "COM"}, Case{u"\\\\.\\COM1x", "COM1x"},
                        Case{u"\\\\.\\/dev/ttyUSB0", "/dev/ttyUSB0"},
                        Case{u"/dev/pts/3", "/dev/pts/3"}, Case{u"\\\\.\\COM007", "COM007"}})
    EXPECT_EQ(PosixComm::DeviceFileFor(c.path), c.file) << EncodeUtf8(c.path);
}

TEST(PosixCommPty, OpenSetsEveryProbeSpeedRawEightNOneAndXonXoff) {
  PseudoTerminal pty;
  PosixComm comm;
  for (uint32_t speed : {9600u, 115200u, 460800u, 1200u, 14400u, 19200u, 28800u, 33600u, 57600u,
                         230400u}) {
    SCOPED_TRACE(speed);
    CSerialPort port(comm);
    port.Open(pty.DevicePath().c_str(), speed);

    uint32_t seen = 0;
    ASSERT_TRUE(GetTermios2Speed(pty.Master(), seen));
    EXPECT_EQ(seen, speed);
    termios settings{};
    ASSERT_EQ(tcgetattr(pty.Master(), &settings), 0);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD | HUPCL), static_cast<tcflag_t>(CLOCAL | CREAD | HUPCL));
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | IXANY), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(settings.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_cc[VSTART], 0x11);
    EXPECT_EQ(settings.c_cc[VSTOP], 0x13);
    EXPECT_EQ(settings.c_cc[VMIN], 0);
    EXPECT_EQ(settings.c_cc[VTIME], 0);

    // The port's own view, as GetCommState reports it on Windows.
    Dcb dcb;
    ASSERT_TRUE(comm.GetCommState(port.m_hComm, dcb));
    EXPECT_EQ(dcb.BaudRate, speed);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, kNoParity);
    EXPECT_EQ(dcb.StopBits, kOneStopBit);
    EXPECT_TRUE(dcb.fOutX && dcb.fInX);
    EXPECT_EQ(dcb.XonLim, 100);
    EXPECT_EQ(dcb.XoffLim, 100);
    EXPECT_EQ(dcb.fDtrControl, kDtrControlEnable);
  }
}

TEST(PosixCommPty, ProbeGoesOutAsTenBytesAndTheReplyComesBackUnchanged) {
  PseudoTerminal pty;
  ScriptedComm comm;
  std::string heard;
  comm.onWait = Answering(pty, heard, "\r\nOK\r\n");
  char reply[251];
  ASSERT_EQ(Exchange(comm, "ATQ0V1E0", pty.DevicePath(), reply), 0u);
  heard += pty.ReadFor(200);
  EXPECT_EQ(heard, std::string("ATQ0V1E0\r\n"));
  EXPECT_STREQ(reply, "\r\nOK\r\n");
  EXPECT_EQ(comm.waits, std::vector<uint32_t>{1000});
}

TEST(PosixCommPty, LongReplyIsCutAt250AndItsRestNeverReachesTheNextExchange) {
  PseudoTerminal pty;
  ScriptedComm comm;
  std::string answer;
  for (int i = 0; i < 300; ++i) answer.push_back(static_cast<char>('a' + i % 26));
  std::string heard;
  comm.onWait = Answering(pty, heard, answer);
  char reply[1024];
  std::fill(std::begin(reply), std::end(reply), 'x');
  ASSERT_EQ(Exchange(comm, "ATI4", pty.DevicePath(), reply), 0u);
  EXPECT_EQ(std::string(reply), answer.substr(0, 250));

  comm.onWait = Answering(pty, heard, "\r\nOK\r\n");
  ASSERT_EQ(Exchange(comm, "AT", pty.DevicePath(), reply), 0u);
  EXPECT_STREQ(reply, "\r\nOK\r\n");
}

TEST(PosixCommPty, ReplyAfterTheExchangeIsNotPartOfTheNextOne) {
  PseudoTerminal pty;
  ScriptedComm comm;
  std::string heard;
  comm.onWait = Answering(pty, heard, "");
  char reply[251];
  std::fill(std::begin(reply), std::end(reply), 'x');
  ASSERT_EQ(Exchange(comm, "ATI9", pty.DevicePath(), reply), 0u);
  EXPECT_EQ(std::string(reply, 251), std::string(251, '\0'));

  // The slow modem answers now, with the port closed; the bytes wait in the
  // terminal until the next open.
  pty.Send("\r\nLATE\r\n");
  pty.AwaitWaiting(8);
  comm.onWait = Answering(pty, heard, "\r\nOK\r\n");
  ASSERT_EQ(Exchange(comm, "AT", pty.DevicePath(), reply), 0u);
  EXPECT_STREQ(reply, "\r\nOK\r\n");
}

TEST(PosixCommPty, MissingDeviceRaisesEnoent) {
  PosixComm comm;
  char reply[251];
  EXPECT_EQ(Exchange(comm, "AT", WideString(u"\\\\.\\/dev/halvorn-no-such-port"), reply),
            static_cast<uint32_t>(ENOENT));
}

TEST(PosixCommPty, LockedDeviceRaisesBeforeAnythingIsWritten) {
  PseudoTerminal pty;
  const int holder = open(pty.Name().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

  PosixComm comm;
  char reply[251];
  const uint32_t code = Exchange(comm, "ATQ0V1E0", pty.DevicePath(), reply);
  EXPECT_TRUE(code == EWOULDBLOCK || code == EBUSY) << code;
  EXPECT_EQ(pty.ReadFor(200), "");
  close(holder);
}

TEST(PosixCommPty, PortIsReleasedAfterAnExchange) {
  PseudoTerminal pty;
  ScriptedComm comm;
  std::string heard;
  comm.onWait = Answering(pty, heard, "\r\nOK\r\n");
  char reply[251];
  ASSERT_EQ(Exchange(comm, "AT", pty.DevicePath(), reply), 0u);

  // Neither the lock nor exclusive mode outlives the exchange.
  const int other = open(pty.Name().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  int exclusive = 1;
  ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(other);

  ASSERT_EQ(Exchange(comm, "ATI0", pty.DevicePath(), reply), 0u);
  EXPECT_EQ(heard, "ATI0\r\n");
  EXPECT_STREQ(reply, "\r\nOK\r\n");
}

// Waits five real seconds: the write timeout itself is what is under test.
TEST(PosixCommPty, ModemHoldingXoffMakesTheExchangeRaiseTimedOut) {
  PseudoTerminal pty;
  ScriptedComm comm;
  comm.onConfigured = [&pty](CommHandle handle) {
    pty.Send("\x13");
    // Stopped output shows as a port that takes no bytes.
    for (int waited = 0; waited < kPatienceMs; waited += 5) {
      pollfd ready{static_cast<int>(handle), POLLOUT, 0};
      if (poll(&ready, 1, 0) == 0) return;
      usleep(5000);
    }
    ADD_FAILURE() << "XOFF never stopped the output";
  };
  char reply[251];
  EXPECT_EQ(Exchange(comm, "ATQ0V1E0", pty.DevicePath(), reply), static_cast<uint32_t>(ETIMEDOUT));
  EXPECT_TRUE(comm.waits.empty());
  EXPECT_EQ(pty.ReadFor(100), "");
}

}  // namespace
}  // namespace halvorn
