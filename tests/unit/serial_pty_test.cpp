// The POSIX serial backend against a pseudo-terminal. Exchanges, speeds, XOFF,
// a missing device and the settings a run leaves behind: through the real
// binary and the modem simulator (tests/e2e/query_*.sh).
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "fakes/fake_comm.h"
#include "serial/at_command.h"
#include "serial/comm_posix.h"

namespace halvorn {
namespace {

struct Pty {
  int master = -1, slave = -1;
  std::string name = std::string(128, '\0');
  Pty() {
    EXPECT_EQ(openpty(&master, &slave, name.data(), nullptr, nullptr), 0);
    name.resize(name.find('\0'));
  }
  ~Pty() { close(master), close(slave); }
  std::u16string DevicePath() const { return u"\\\\.\\" + std::u16string(name.begin(), name.end()); }
};

TEST(PosixComm, DevicePathNamesTheFile) {
  EXPECT_EQ(PosixComm::DeviceFileFor(u"\\\\.\\com12"), "/dev/ttyS11");
}

// A second user of the port, even another halvorn, must not interleave with
// the exchange; one holding the port in exclusive mode (pppd with its link
// up) is refused also when the tests run as root, whom the kernel lets open
// it. Nothing is written and no setting is changed.
TEST(PosixCommPty, HeldPortRaisesBeforeAnythingIsWrittenOrSet) {
  const std::vector<std::pair<const char*, std::function<int(int)>>> holders = {
      {"flock", [](int fd) { return flock(fd, LOCK_EX | LOCK_NB); }},
      {"exclusive mode", [](int fd) { return ioctl(fd, TIOCEXCL); }}};
  for (const auto& [how, hold] : holders) {
    SCOPED_TRACE(how);
    Pty pty;
    const int holder = open(pty.name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(hold(holder), 0);
    termios before{}, after{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    PosixComm comm;
    char reply[251];
    const uint32_t code = testing::SerialErrorOf(
        [&] { SendATCommand(comm, "AT", WideString(pty.DevicePath().c_str()), 9600, reply); });
    EXPECT_TRUE(code == EWOULDBLOCK || code == EBUSY) << code;
    pollfd written{pty.master, POLLIN, 0};
    EXPECT_EQ(poll(&written, 1, 200), 0);
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&before), sizeof before),
              std::string(reinterpret_cast<char*>(&after), sizeof after));
    close(holder);
  }
}

// The line settings of an open port, read back from the device. A process
// without a controlling terminal opens the port first: an open without
// O_NOCTTY would make the port its controlling terminal.
TEST(PosixCommPty, OpenPortHasTheFixedLineSettings) {
  Pty pty;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setsid();
    PosixComm comm;
    int status = 2;
    testing::SerialErrorOf([&] {  // the port is closed again before the exit
      CSerialPort port(comm);
      port.Open(pty.DevicePath().c_str(), 9600);
      status = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC) >= 0 ? 1 : 0;
    });
    _exit(status);
  }
  int childStatus = -1;
  ASSERT_EQ(waitpid(child, &childStatus, 0), child);

  PosixComm comm;
  CSerialPort port(comm);
  port.Open(pty.DevicePath().c_str(), 9600);
  termios line{};
  ASSERT_EQ(tcgetattr(pty.slave, &line), 0);
  const std::vector<std::pair<const char*, bool>> settings = {
      {"XON/XOFF on output (IXON)", (line.c_iflag & IXON) != 0},
      {"XON/XOFF on input (IXOFF)", (line.c_iflag & IXOFF) != 0},
      {"XON is 0x11, XOFF 0x13", line.c_cc[VSTART] == 0x11 && line.c_cc[VSTOP] == 0x13},
      {"8 data bits", (line.c_cflag & CSIZE) == CS8},
      {"no parity", (line.c_cflag & PARENB) == 0 && (line.c_iflag & INPCK) == 0},
      {"one stop bit", (line.c_cflag & CSTOPB) == 0},
      {"no hardware flow control", (line.c_cflag & CRTSCTS) == 0},
      {"raw input", (line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
                        (line.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)) == 0},
      {"raw output", (line.c_oflag & OPOST) == 0},
      {"receiver on, modem lines ignored", (line.c_cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL)},
      {"DTR dropped on close (HUPCL)", (line.c_cflag & HUPCL) != 0},
      {"not made the controlling terminal",
       WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0},
  };
  for (const auto& [what, holds] : settings) EXPECT_TRUE(holds) << what;
}

}  // namespace
}  // namespace halvorn
