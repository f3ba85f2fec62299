#include "serial/comm_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>

#include "serial/signal_release_posix.h"
#include "text/utf8.h"

namespace halvorn {

namespace {

using Clock = std::chrono::steady_clock;

bool Fail(int error) {
  errno = error;
  return false;
}

int Descriptor(CommHandle comm) { return static_cast<int>(comm); }

struct SpeedConstant {
  uint32_t speed;
  speed_t constant;
};

constexpr SpeedConstant kSpeedConstants[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},
    {150, B150},       {200, B200},       {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000},
};

std::optional<speed_t> SpeedConstantFor(uint32_t speed) {
  for (const SpeedConstant& entry : kSpeedConstants)
    if (entry.speed == speed) return entry.constant;
  return std::nullopt;
}

uint32_t SpeedFromConstant(speed_t constant) {
  for (const SpeedConstant& entry : kSpeedConstants)
    if (entry.constant == constant) return entry.speed;
  return 0;
}

// Milliseconds left until deadline for poll; -1 waits without limit.
int RemainingMs(const std::optional<Clock::time_point>& deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::optional<Clock::time_point> DeadlineAfter(uint32_t multiplier, uint32_t constant,
                                               uint32_t count) {
  const uint64_t total = static_cast<uint64_t>(multiplier) * count + constant;
  if (total == 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(total);
}

void PauseBriefly(int milliseconds) {
  timespec left{0, static_cast<long>(milliseconds) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

// DTR follows the setting; a device without modem lines (a pseudo-terminal)
// answers ENOTTY or EINVAL, which is no failure.
bool ApplyDtr(int fd, uint8_t dtrControl) {
  int lines = TIOCM_DTR;
  const unsigned long request = dtrControl == kDtrControlDisable ? TIOCMBIC : TIOCMBIS;
  if (ioctl(fd, request, &lines) == 0 || errno == ENOTTY || errno == EINVAL) return true;
  return false;
}

// The port an exchange has open, for the signal handler (see
// signal_release_posix.h): a run ended by a signal gives it back as a close
// would, rather than leave it raw and in exclusive mode.
volatile sig_atomic_t g_fdOpenPort = -1;
SavedLineSettings g_openPortFound;

void GiveBackPort(int fd, const SavedLineSettings& found) {
  // Output that a modem held back with XOFF would make close() wait for the
  // driver's closing time; a Windows handle drops it too.
  tcflush(fd, TCOFLUSH);
  // The modem hangs up: DTR drops now, whether or not the settings the port
  // goes back to drop it at the close (HUPCL). Then the port gets back the
  // settings it was found with, as terminal programs expect to find them.
  ApplyDtr(fd, kDtrControlDisable);
  RestoreLineSettings(fd, found);
  ioctl(fd, TIOCNXCL);
}

void GiveBackOpenPort() {
  if (g_fdOpenPort >= 0) GiveBackPort(g_fdOpenPort, g_openPortFound);
  g_fdOpenPort = -1;
}

// The handler has no more to give back for the port fd.
void ForgetOpenPort(int fd) {
  SignalsHeld held;
  if (g_fdOpenPort != fd) return;
  g_fdOpenPort = -1;
  UnregisterReleaseStep(GiveBackOpenPort);
}

}  // namespace

std::string PosixComm::DeviceFileFor(const char16_t* path) {
  std::u16string_view name(path);
  constexpr std::u16string_view kDevicePrefix = u"\\\\.\\";
  if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix) name.remove_prefix(kDevicePrefix.size());

  const std::string file = EncodeUtf8(name);
  // COMn, in any case as on Windows, with n a plain number from 1 up.
  if (file.size() > 3 && strncasecmp(file.c_str(), "COM", 3) == 0 && file[3] != '0' &&
      file.size() <= 12 && file.find_first_not_of("0123456789", 3) == std::string::npos) {
    const unsigned long number = std::stoul(file.substr(3));
    return "/dev/ttyS" + std::to_string(number - 1);
  }
  return file;
}

PosixComm::PortState* PosixComm::FindPort(CommHandle comm) {
  const auto found = m_mapPorts.find(comm);
  return found == m_mapPorts.end() ? nullptr : &found->second;
}

CommHandle PosixComm::OpenComm(const char16_t* path) {
  const std::string file = DeviceFileFor(path);
  const int fd = open(file.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kInvalidCommHandle;

  // Unshared as on Windows: a port that another run or a locking program
  // holds fails here (EWOULDBLOCK), one in exclusive tty mode already at open
  // (EBUSY). The kernel lets root open such a port all the same, so ask
  // before touching it: pppd sets that mode on a connection that is up, and
  // a change of speed or a stray AT command would break it.
  int exclusive = 0;
  SavedLineSettings found;
  if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) errno = EBUSY;
  bool opened = exclusive == 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && SaveLineSettings(fd, found);
  // The signal handler gives the port back from its first change on.
  if (opened) {
    SignalsHeld held;
    g_openPortFound = found;
    g_fdOpenPort = fd;
    RegisterReleaseStep(GiveBackOpenPort);
  }
  opened = opened && (ioctl(fd, TIOCEXCL) == 0 || errno == ENOTTY || errno == EINVAL);
  if (!opened) {
    const int error = errno;
    ForgetOpenPort(fd);
    close(fd);
    errno = error;
    return kInvalidCommHandle;
  }
  // A fresh Windows handle starts with an empty input queue; input left over
  // from before the open (a late reply to an earlier exchange) goes.
  tcflush(fd, TCIFLUSH);

  const CommHandle handle = static_cast<CommHandle>(fd);
  PortState& state = m_mapPorts[handle];
  state = PortState{};
  state.dcb.fBinary = 1;
  state.dcb.fTXContinueOnXoff = 1;
  state.dcb.XonLim = 2048;
  state.dcb.XoffLim = 512;
  state.found = found;
  return handle;
}

CommHandle PosixComm::CreateManualResetEvent() {
  // Nothing waits on the event; a token that CloseHandle knows is enough.
  const CommHandle token = m_hNextEvent++;
  m_setEvents.insert(token);
  return token;
}

bool PosixComm::GetCommState(CommHandle comm, Dcb& dcb) {
  PortState* state = FindPort(comm);
  if (state == nullptr) return Fail(EBADF);
  const int fd = Descriptor(comm);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;

  dcb = state->dcb;
  dcb.DCBlength = kDcbLength;
  uint32_t inputSpeed = 0;
  if (!GetTermios2Speeds(fd, inputSpeed, dcb.BaudRate))
    dcb.BaudRate = SpeedFromConstant(cfgetospeed(&settings));
  switch (settings.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  dcb.Parity = (settings.c_cflag & PARENB) == 0  ? kNoParity
               : (settings.c_cflag & PARODD) != 0 ? kOddParity
                                                  : kEvenParity;
  dcb.StopBits = (settings.c_cflag & CSTOPB) != 0 ? kTwoStopBits : kOneStopBit;
  dcb.fParity = (settings.c_iflag & INPCK) != 0;
  dcb.fOutxCtsFlow = (settings.c_cflag & CRTSCTS) != 0;
  dcb.fOutX = (settings.c_iflag & IXON) != 0;
  dcb.fInX = (settings.c_iflag & IXOFF) != 0;
  dcb.XonChar = static_cast<char>(settings.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(settings.c_cc[VSTOP]);
  return true;
}

bool PosixComm::SetCommState(CommHandle comm, const Dcb& dcb) {
  PortState* state = FindPort(comm);
  if (state == nullptr) return Fail(EBADF);
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kEvenParity)
    return Fail(EINVAL);
  const int fd = Descriptor(comm);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;

  // Raw by hand: bytes pass unchanged both ways (a CR LF from the modem
  // arrives as CR LF); only XON/XOFF, when asked for, is taken out of the stream.
  settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP |
                                              INLCR | IGNCR | ICRNL | IUCLC | IXON | IXOFF | IXANY |
                                              IMAXBEL | IUTF8);
  if (dcb.fOutX) settings.c_iflag |= IXON;
  if (dcb.fInX) settings.c_iflag |= IXOFF;
  if (dcb.fParity && dcb.Parity != kNoParity) settings.c_iflag |= INPCK;
  settings.c_oflag = 0;
  settings.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL |
                                              ECHOCTL | ECHOKE | IEXTEN | NOFLSH | TOSTOP);

  static constexpr tcflag_t kByteSizes[] = {CS5, CS6, CS7, CS8};
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  settings.c_cflag |= kByteSizes[dcb.ByteSize - 5] | CLOCAL | CREAD;
  // DTR drops when the port closes, as it does when a Windows handle closes.
  settings.c_cflag |= HUPCL;
  if (dcb.Parity != kNoParity) settings.c_cflag |= PARENB;
  if (dcb.Parity == kOddParity) settings.c_cflag |= PARODD;
  if (dcb.StopBits != kOneStopBit) settings.c_cflag |= CSTOPB;
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == kRtsControlHandshake) settings.c_cflag |= CRTSCTS;

  settings.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  settings.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;

  const std::optional<speed_t> constant = SpeedConstantFor(dcb.BaudRate);
  if (constant) {
    cfsetispeed(&settings, *constant);
    cfsetospeed(&settings, *constant);
  }
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return false;
  // Every speed then goes through termios2, in both directions: speeds without
  // a constant (14400, 28800, 33600) need it, and tcsetattr alone would leave
  // the input at such a speed from an earlier exchange.
  if (!SetTermios2Speed(fd, dcb.BaudRate)) return false;
  if (!ApplyDtr(fd, dcb.fDtrControl)) return false;

  state->dcb = dcb;
  return true;
}

bool PosixComm::SetupComm(CommHandle comm, uint32_t, uint32_t) {
  // The kernel sizes its own tty buffers; the request is only checked.
  return FindPort(comm) != nullptr || Fail(EBADF);
}

bool PosixComm::SetCommTimeouts(CommHandle comm, const CommTimeouts& timeouts) {
  PortState* state = FindPort(comm);
  if (state == nullptr) return Fail(EBADF);
  state->timeouts = timeouts;
  return true;
}

bool PosixComm::WriteComm(CommHandle comm, const void* data, uint32_t length, uint32_t& written) {
  written = 0;
  PortState* state = FindPort(comm);
  if (state == nullptr) return Fail(EBADF);
  const int fd = Descriptor(comm);
  const auto deadline = DeadlineAfter(state->timeouts.WriteTotalTimeoutMultiplier,
                                      state->timeouts.WriteTotalTimeoutConstant, length);
  const char* bytes = static_cast<const char*>(data);

  // Non-blocking writes and poll: a modem that holds the line with XOFF keeps
  // the port from taking bytes, and the deadline ends the wait as the Windows
  // write timeout does, with fewer bytes written than asked.
  while (written < length) {
    const ssize_t count = write(fd, bytes + written, length - written);
    if (count > 0) {
      written += static_cast<uint32_t>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN) return false;
    pollfd waiting{fd, POLLOUT, 0};
    const int ready = poll(&waiting, 1, RemainingMs(deadline));
    if (ready < 0 && errno != EINTR) return false;
    if (ready == 0) return true;
  }
  // A UART driver takes the bytes into its own buffer even while XOFF holds
  // the line; like a Windows write, this one ends when they are sent, and
  // what is still queued at the deadline counts as not written.
  if (!deadline) return true;
  for (;;) {
    int pending = 0;
    if (ioctl(fd, TIOCOUTQ, &pending) != 0 || pending <= 0) return true;
    if (Clock::now() >= *deadline) {
      written -= std::min(written, static_cast<uint32_t>(pending));
      return true;
    }
    PauseBriefly(std::min(10, RemainingMs(deadline)));
  }
}

bool PosixComm::ClearCommError(CommHandle comm, uint32_t& errors, ComStat& status) {
  if (FindPort(comm) == nullptr) return Fail(EBADF);
  const int fd = Descriptor(comm);
  int waiting = 0;
  if (ioctl(fd, FIONREAD, &waiting) != 0) return false;
  int pending = 0;
  if (ioctl(fd, TIOCOUTQ, &pending) != 0) pending = 0;
  errors = 0;  // termios reports no latched line errors to clear
  status.cbInQue = static_cast<uint32_t>(waiting);
  status.cbOutQue = static_cast<uint32_t>(pending);
  return true;
}

bool PosixComm::ReadComm(CommHandle comm, void* buffer, uint32_t capacity, uint32_t& read) {
  read = 0;
  PortState* state = FindPort(comm);
  if (state == nullptr) return Fail(EBADF);
  const int fd = Descriptor(comm);
  const CommTimeouts& timeouts = state->timeouts;
  // MAXDWORD between bytes and no totals: return at once with what is waiting.
  const bool immediate = timeouts.ReadIntervalTimeout == kMaxDword &&
                         timeouts.ReadTotalTimeoutMultiplier == 0 &&
                         timeouts.ReadTotalTimeoutConstant == 0;
  const auto deadline = DeadlineAfter(timeouts.ReadTotalTimeoutMultiplier,
                                      timeouts.ReadTotalTimeoutConstant, capacity);
  char* bytes = static_cast<char*>(buffer);

  while (read < capacity) {
    const ssize_t count = ::read(fd, bytes + read, capacity - read);
    if (count > 0) {
      read += static_cast<uint32_t>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN) return false;
    if (immediate) return true;
    pollfd waiting{fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, RemainingMs(deadline));
    if (ready < 0 && errno != EINTR) return false;
    if (ready == 0) return true;
  }
  return true;
}

bool PosixComm::PurgeComm(CommHandle comm, uint32_t flags) {
  if (FindPort(comm) == nullptr) return Fail(EBADF);
  const int fd = Descriptor(comm);
  if ((flags & kPurgeTxClear) != 0 && tcflush(fd, TCOFLUSH) != 0) return false;
  if ((flags & kPurgeRxClear) != 0 && tcflush(fd, TCIFLUSH) != 0) return false;
  return true;
}

bool PosixComm::FlushFileBuffers(CommHandle comm) {
  if (FindPort(comm) == nullptr) return Fail(EBADF);
  // tcdrain waits for the output queue to empty. The exchange calls it after
  // purging that queue, so a modem holding XOFF cannot keep it waiting.
  while (tcdrain(Descriptor(comm)) != 0)
    if (errno != EINTR) return false;
  return true;
}

bool PosixComm::CloseHandle(CommHandle handle) {
  if (m_setEvents.erase(handle) != 0) return true;
  const auto port = m_mapPorts.find(handle);
  if (port == m_mapPorts.end()) return Fail(EBADF);
  const SavedLineSettings found = port->second.found;
  m_mapPorts.erase(port);
  const int fd = Descriptor(handle);
  SignalsHeld held;
  GiveBackPort(fd, found);
  ForgetOpenPort(fd);
  return close(fd) == 0;
}

uint32_t PosixComm::GetLastError() { return static_cast<uint32_t>(errno); }

uint32_t PosixComm::TimeoutError() { return ETIMEDOUT; }
uint32_t PosixComm::InvalidParameterError() { return EINVAL; }

void PosixComm::Sleep(uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

uint32_t PosixComm::GetTickCount() {
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
      Clock::now().time_since_epoch());
  return static_cast<uint32_t>(now.count());
}

bool PosixComm::FormatErrorMessage(uint32_t error, std::u16string& text) {
  // strerror's texts (plain ASCII), without the "Unknown error" stand-in for
  // codes it does not know.
  const char* message = strerrordesc_np(static_cast<int>(error));
  text.clear();
  if (message == nullptr) return false;
  for (const char* c = message; *c != '\0'; ++c)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(*c)));
  return true;
}

}  // namespace halvorn
