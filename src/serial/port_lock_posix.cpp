#include "serial/port_lock_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "serial/comm_posix.h"

namespace halvorn {

namespace {

constexpr int kReleasingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kAttempts = 5;  // a lock removed as stale may be taken by another in between

// The lock this process holds, for the signal handler: a fixed buffer, since
// the handler may only make async-signal-safe calls.
char g_szHeldLock[PATH_MAX + 16];
volatile sig_atomic_t g_bLockHeld = 0;
struct sigaction g_previousActions[std::size(kReleasingSignals)];

void RemoveLockAndEnd(int signal) {
  if (g_bLockHeld) unlink(g_szHeldLock);
  g_bLockHeld = 0;
  // SA_RESETHAND put the default action back: the signal, raised again, ends
  // the process as it would have without the lock (a shell sees 128 + n).
  raise(signal);
}

// Blocks the releasing signals while the lock and its record change together.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kReleasingSignals) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, &m_setPrevious);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &m_setPrevious, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t m_setPrevious;
};

void CatchReleasingSignals() {
  for (size_t i = 0; i < std::size(kReleasingSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = RemoveLockAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : kReleasingSignals) sigaddset(&action.sa_mask, signal);
    sigaction(kReleasingSignals[i], nullptr, &g_previousActions[i]);
    // A signal the caller ignores (nohup) stays ignored.
    if (g_previousActions[i].sa_handler != SIG_IGN) sigaction(kReleasingSignals[i], &action, nullptr);
  }
}

void RestoreSignals() {
  for (size_t i = 0; i < std::size(kReleasingSignals); ++i)
    sigaction(kReleasingSignals[i], &g_previousActions[i], nullptr);
}

std::string LastComponent(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

enum class LockState { kNone, kLive, kStale };

// What a lock file says: the PID in HDB text (leading blanks, digits, and
// whatever follows, as minicom writes its name after it), or as four binary
// bytes, as some old programs wrote it.
LockState Inspect(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? LockState::kNone : LockState::kLive;
  char content[64] = {};
  const ssize_t length = read(fd, content, sizeof content - 1);
  close(fd);
  if (length < 0) return LockState::kLive;  // unreadable: assume its owner is there

  long pid = 0;
  const bool text = std::all_of(content, content + length, [](char c) {
    return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7F);
  });
  if (length == 4 && !text) {
    int32_t binary = 0;
    std::memcpy(&binary, content, sizeof binary);
    pid = binary;
  } else {
    const char* start = content + std::strspn(content, " \t");
    char* end = nullptr;
    pid = std::strtol(start, &end, 10);
    if (end == start) pid = 0;
  }
  // A lock naming this process is its own, from a run that never released it.
  if (pid <= 0 || pid > INT_MAX || pid == getpid()) return LockState::kStale;
  if (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) return LockState::kLive;
  return LockState::kStale;
}

}  // namespace

std::vector<std::string> UucpPortLock::LockNamesFor(const std::string& file,
                                                    const std::string& device) {
  std::vector<std::string> names;
  for (const std::string& path : {device, file}) {
    // The terminal programs' names: the device's last component.
    names.push_back("LCK.." + LastComponent(path));
    // pppd's: the path after "dev/", with every "/" turned into "_".
    const size_t dev = path.find("dev/");
    if (dev != std::string::npos) {
      std::string rest = path.substr(dev + 4);
      std::replace(rest.begin(), rest.end(), '/', '_');
      names.push_back("LCK.." + rest);
    }
  }
  std::vector<std::string> unique;
  for (const std::string& name : names)
    if (std::find(unique.begin(), unique.end(), name) == unique.end()) unique.push_back(name);
  return unique;
}

uint32_t UucpPortLock::Acquire(const char16_t* devicePath) {
  Release();
  const std::string file = PosixComm::DeviceFileFor(devicePath);
  char resolved[PATH_MAX];
  // No such device: nothing to guard, and the exchange reports the failure.
  if (realpath(file.c_str(), resolved) == nullptr) return 0;
  const std::vector<std::string> names = LockNamesFor(file, resolved);
  const std::string own = m_strFolder + "/" + names.front();
  if (own.size() >= sizeof g_szHeldLock) return 0;

  // The content goes into a file of its own first and is linked to the lock
  // name, so that no reader ever finds the lock without its PID.
  std::string temporary = m_strFolder + "/LTMP.XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  bool canLock = fd >= 0;
  if (canLock) {
    char content[16];
    const int length = std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(getpid()));
    canLock = fchmod(fd, 0644) == 0 && write(fd, content, static_cast<size_t>(length)) == length;
    canLock = close(fd) == 0 && canLock;
    if (!canLock) unlink(temporary.c_str());
  }

  uint32_t result = EBUSY;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    bool live = false;
    for (const std::string& name : names) {
      const std::string path = m_strFolder + "/" + name;
      const LockState state = Inspect(path);
      live = live || state == LockState::kLive;
      if (state == LockState::kStale) unlink(path.c_str());
    }
    if (live) break;
    // A folder the caller may not write to: the check above is all we can do.
    if (!canLock) return 0;
    SignalsHeld held;
    if (link(temporary.c_str(), own.c_str()) == 0) {
      std::memcpy(g_szHeldLock, own.c_str(), own.size() + 1);
      g_bLockHeld = 1;
      CatchReleasingSignals();
      result = 0;
      break;
    }
    if (errno != EEXIST) {
      result = 0;
      break;
    }
  }
  if (canLock) unlink(temporary.c_str());
  return result;
}

void UucpPortLock::Release() {
  SignalsHeld held;
  if (!g_bLockHeld) return;
  unlink(g_szHeldLock);
  g_bLockHeld = 0;
  RestoreSignals();
}

}  // namespace halvorn
