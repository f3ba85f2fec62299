// The POSIX serial backend against a pseudo-terminal: the test holds the
// master side and plays the modem. The exchange's one-second wait is where the
// modem answers, so the tests wait for bytes, never for time.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

#include "fakes/fake_comm.h"
#include "serial/at_command.h"
#include "serial/comm_posix.h"

namespace halvorn {
namespace {

constexpr int kPatienceMs = 10000;  // only ever reached when something is broken

// Polls every 5 ms until done() holds; false if it never does.
bool Eventually(const std::function<bool()>& done) {
  for (int waited = 0; waited < kPatienceMs; waited += 5, usleep(5000))
    if (done()) return true;
  return false;
}

// The test keeps its own descriptor of the port side open, so the terminal
// stays up between exchanges and shows how many bytes wait there.
struct PseudoTerminal {
  int master = -1, slave = -1;
  std::string name = std::string(128, '\0');
  PseudoTerminal() {
    EXPECT_EQ(openpty(&master, &slave, name.data(), nullptr, nullptr), 0);
    name.resize(name.find('\0'));
  }
  ~PseudoTerminal() { close(master), close(slave); }

  WideString Path() const { return WideString(("\\\\.\\" + name).c_str()); }
  void Send(const std::string& bytes) const {
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    int waiting = 0;
    EXPECT_TRUE(Eventually([&] {
      return ioctl(slave, FIONREAD, &waiting) == 0 && waiting >= static_cast<int>(bytes.size());
    }));
  }
  // What the port side sent: up to the end of a line (line = true), or
  // whatever comes before the side is quiet for milliseconds.
  std::string Heard(int milliseconds, bool line = false) const {
    std::string heard;
    char buffer[4096];
    for (pollfd ready{master, POLLIN, 0}; poll(&ready, 1, milliseconds) > 0;) {
      const ssize_t count = read(master, buffer, sizeof buffer);
      if (count <= 0) break;
      heard.append(buffer, static_cast<size_t>(count));
      if (line && heard.ends_with("\r\n")) break;
    }
    return heard;
  }
};

// The real backend, with the exchange's wait handed to the modem script.
struct ScriptedComm final : PosixComm {
  void Sleep(uint32_t) override { onWait(); }
  std::function<void()> onWait = [] { FAIL() << "no wait expected"; };
};

uint32_t Exchange(CommApi& comm, const char* command, const WideString& port, char* reply) {
  return testing::SerialErrorOf([&] { SendATCommand(comm, command, port, 9600, reply); });
}

TEST(PosixComm, DevicePathNamesTheFile) {
  for (const auto& [path, file] : {std::pair{u"\\\\.\\COM1", "/dev/ttyS0"},
                                   {u"\\\\.\\com12", "/dev/ttyS11"}, {u"\\\\.\\COM1x", "COM1x"}})
    EXPECT_EQ(PosixComm::DeviceFileFor(path), file) << EncodeUtf8(path);
}

// Speeds, raw mode and XON/XOFF show in the real binary's exchanges with the
// modem simulator (tests/e2e/query_*.sh). Here exchanges in a row on one
// terminal: each hears its own command line only and gets back only its own
// answer. A late answer arrives while the port is closed. (The next exchange
// could not open the port if the last one's lock outlived it.)
TEST(PosixCommPty, EachExchangeKeepsToItsOwnCommandAndReply) {
  struct Step {
    std::string command, answer, reply, late;
  };
  PseudoTerminal pty;
  ScriptedComm comm;
  for (const Step& s : {Step{"ATI9", "", "", "\r\nLATE\r\n"},
                        Step{"AT", "\r\nOK\r\n", "\r\nOK\r\n", ""}}) {
    SCOPED_TRACE(s.command);
    std::string heard;
    comm.onWait = [&] {
      heard = pty.Heard(kPatienceMs, true);
      if (!s.answer.empty()) pty.Send(s.answer);
    };
    char reply[251];
    ASSERT_EQ(Exchange(comm, s.command.c_str(), pty.Path(), reply), 0u);
    EXPECT_EQ(heard + pty.Heard(0), s.command + "\r\n");
    EXPECT_EQ(std::string(reply), s.reply);
    if (!s.late.empty()) pty.Send(s.late);
  }
}

// A missing device and a held XOFF are checked through the real binary
// (tests/e2e/query_serial_failure.sh).
TEST(PosixCommPty, LockedDeviceRaisesBeforeAnythingIsWritten) {
  PseudoTerminal pty;
  const int holder = open(pty.name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  PosixComm comm;
  char reply[251];
  const uint32_t code = Exchange(comm, "AT", pty.Path(), reply);
  EXPECT_TRUE(code == EWOULDBLOCK || code == EBUSY) << code;
  EXPECT_EQ(pty.Heard(200), "");
  close(holder);
}

}  // namespace
}  // namespace halvorn
