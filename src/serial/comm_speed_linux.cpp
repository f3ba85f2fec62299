#include "serial/comm_speed_linux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace halvorn {

bool SetTermios2Speed(int fd, uint32_t speed) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = speed;
  settings.c_ospeed = speed;
  return ioctl(fd, TCSETS2, &settings) == 0;
}

bool GetTermios2Speeds(int fd, uint32_t& inputSpeed, uint32_t& outputSpeed) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  inputSpeed = settings.c_ispeed;
  outputSpeed = settings.c_ospeed;
  return true;
}

}  // namespace halvorn
