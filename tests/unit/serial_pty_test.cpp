// The POSIX serial backend against a pseudo-terminal. Exchanges, speeds, raw
// mode, XON/XOFF and a missing device are checked through the real binary and
// the modem simulator (tests/e2e/query_*.sh).
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "fakes/fake_comm.h"
#include "serial/at_command.h"
#include "serial/comm_posix.h"

namespace halvorn {
namespace {

TEST(PosixComm, DevicePathNamesTheFile) {
  EXPECT_EQ(PosixComm::DeviceFileFor(u"\\\\.\\com12"), "/dev/ttyS11");
}

// A second user of the port, even another halvorn, must not interleave with
// the exchange.
TEST(PosixCommPty, LockedDeviceRaisesBeforeAnythingIsWritten) {
  int master = -1, slave = -1;
  std::string name(128, '\0');
  ASSERT_EQ(openpty(&master, &slave, name.data(), nullptr, nullptr), 0);
  name.resize(name.find('\0'));
  const int holder = open(name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  PosixComm comm;
  char reply[251];
  const uint32_t code = testing::SerialErrorOf(
      [&] { SendATCommand(comm, "AT", WideString(("\\\\.\\" + name).c_str()), 9600, reply); });
  EXPECT_TRUE(code == EWOULDBLOCK || code == EBUSY) << code;
  pollfd written{master, POLLIN, 0};
  EXPECT_EQ(poll(&written, 1, 200), 0);
  close(holder), close(master), close(slave);
}

}  // namespace
}  // namespace halvorn
