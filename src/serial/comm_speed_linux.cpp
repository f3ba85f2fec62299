#include "serial/comm_speed_linux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace halvorn {

namespace {

// A driver may hold a speed a little off the one asked for (its divisor's
// nearest rate); the kernel itself takes 2% as the same speed.
bool HoldsSpeed(uint32_t held, uint32_t speed) {
  const uint64_t difference = held > speed ? held - speed : speed - held;
  return difference * 50 <= speed;
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
  if (HoldsSpeed(settings.c_ispeed, speed) && HoldsSpeed(settings.c_ospeed, speed)) return true;
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
