#include "serial/comm_speed_linux.h"

#include <asm/termbits.h>
#include <linux/major.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace halvorn {

namespace {

// A driver may hold a speed a little off the one asked for (its divisor's
// nearest rate); the kernel itself takes 2% as the same speed.
bool HoldsSpeed(uint32_t held, uint32_t speed) {
  const uint64_t difference = held > speed ? held - speed : speed - held;
  return difference * 50 <= speed;
}

// A PC serial port (the 8250 driver's ttyS) with a classic UART runs at its
// clock's base rate divided by the whole divisor nearest the speed, and reads
// back the speed asked for rather than the one it runs: 33600 on a 16550
// (base 115200, divisor 3) runs at 38400. Windows' serial driver refuses
// such a speed; here the divisor's arithmetic tells it.
bool UartRunsSpeed(int fd, uint32_t speed) {
  struct stat info {};
  struct serial_struct serial {};
  if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || major(info.st_rdev) != TTY_MAJOR ||
      ioctl(fd, TIOCGSERIAL, &serial) != 0 || serial.type < PORT_8250 || serial.type > PORT_16550A ||
      serial.baud_base <= 0)
    return true;
  const uint32_t base = static_cast<uint32_t>(serial.baud_base);
  const uint32_t divisor = (base + speed / 2) / speed;
  return divisor != 0 && HoldsSpeed(base / divisor, speed);
}

}  // namespace

bool SetTermios2Speed(int fd, uint32_t speed) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = speed;
  settings.c_ospeed = speed;
  if (ioctl(fd, TCSETS2, &settings) != 0) return false;
  // A UART driver that cannot run at the speed falls back to another one
  // without failing; read back what it holds, so that such a speed is refused
  // as a Windows driver refuses it instead of being probed at the wrong rate.
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  if (HoldsSpeed(settings.c_ispeed, speed) && HoldsSpeed(settings.c_ospeed, speed) &&
      UartRunsSpeed(fd, speed))
    return true;
  errno = EINVAL;
  return false;
}

bool GetTermios2Speeds(int fd, uint32_t& inputSpeed, uint32_t& outputSpeed) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  inputSpeed = settings.c_ispeed;
  outputSpeed = settings.c_ospeed;
  return true;
}

static_assert(sizeof(termios2) <= sizeof(SavedLineSettings::record));

bool SaveLineSettings(int fd, SavedLineSettings& saved) {
  return ioctl(fd, TCGETS2, reinterpret_cast<struct termios2*>(saved.record)) == 0;
}

bool RestoreLineSettings(int fd, const SavedLineSettings& saved) {
  return ioctl(fd, TCSETS2, reinterpret_cast<const struct termios2*>(saved.record)) == 0;
}

}  // namespace halvorn
