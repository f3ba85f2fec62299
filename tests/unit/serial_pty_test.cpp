// The POSIX serial backend against a pseudo-terminal: what the modem
// simulator's log does not show of the line settings (it shows speed, framing,
// flow control and raw mode: tests/e2e/query_serial_failure.sh, with a port
// held by another program).
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
      {"XON is 0x11, XOFF 0x13", line.c_cc[VSTART] == 0x11 && line.c_cc[VSTOP] == 0x13},
      {"no parity check on input", (line.c_iflag & INPCK) == 0},
      {"receiver on, modem lines ignored", (line.c_cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL)},
      {"DTR dropped on close (HUPCL)", (line.c_cflag & HUPCL) != 0},
      {"not made the controlling terminal",
       WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0},
  };
  for (const auto& [what, holds] : settings) EXPECT_TRUE(holds) << what;
}

}  // namespace
}  // namespace halvorn
