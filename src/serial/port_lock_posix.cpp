#include "serial/port_lock_posix.h"

#include <dirent.h>
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
#include <ctime>
#include <string_view>

#include "serial/comm_posix.h"
#include "serial/signal_release_posix.h"

namespace halvorn {

namespace {

constexpr int kAttempts = 5;  // a stale lock taken over may be taken by another in between
// The kernel follows at most 40 links in a path: no chain that reaches a
// device is longer.
constexpr int kMaxHops = 40;
// pppd makes its lock empty and then writes its PID: an empty lock this
// young may be one in the making. An older one was left by a maker killed
// in between.
constexpr time_t kFreshLockSeconds = 10;
// UUCP's name for a lock's temporary file: "LTMP." and the PID of its maker.
constexpr std::string_view kTemporaryPrefix = "LTMP.";
constexpr char kParkedSuffix[] = ".stale";

// The names this process holds in the lock folder, for the signal handler:
// fixed buffers, since the handler may only make async-signal-safe calls.
// Every name is a link to one file, which holds this process's PID. Two names
// for the path as typed, each hop of links and the device.
constexpr size_t kMaxNames = 2 * (kMaxHops + 2);
char g_szHeldNames[kMaxNames][NAME_MAX + 1];
volatile sig_atomic_t g_nHeldNames = 0;
int g_fdHeldFolder = -1;
dev_t g_nHeldDevice = 0;
ino_t g_nHeldInode = 0;

// Removes each held name that still is this process's file: one that another
// process took over meanwhile (thinking this one gone) is theirs now.
void RemoveHeldNames() {
  for (sig_atomic_t i = g_nHeldNames; i-- > 0;) {
    struct stat info {};
    if (fstatat(g_fdHeldFolder, g_szHeldNames[i], &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        info.st_dev == g_nHeldDevice && info.st_ino == g_nHeldInode)
      unlinkat(g_fdHeldFolder, g_szHeldNames[i], 0);
  }
  g_nHeldNames = 0;
}

// A path as a user would type it: no empty or "." components, and ".." taking
// the component before it away (links are not followed).
std::string Tidied(const std::string& path) {
  const bool absolute = path.starts_with('/');
  std::vector<std::string> parts;
  for (size_t start = 0, end = 0; start <= path.size(); start = end + 1) {
    end = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, end - start);
    if (part == ".." && !parts.empty() && parts.back() != "..")
      parts.pop_back();
    else if (!part.empty() && part != "." && !(part == ".." && absolute))
      parts.push_back(part);
  }
  std::string tidied;
  for (const std::string& part : parts) tidied += "/" + part;
  if (!absolute) tidied.erase(0, 1);
  return tidied.empty() ? (absolute ? "/" : ".") : tidied;
}

// The paths a program may be given for the port: the path as typed, each
// hop of the chain of links from it (as /dev/modem leads to
// /dev/serial/by-id/usb-...), and the device the chain ends at.
std::vector<std::string> PathsAlongLinks(const std::string& file, const std::string& device) {
  std::vector<std::string> paths{file};
  std::string hop = file;
  char target[PATH_MAX];
  for (int i = 0; i < kMaxHops; ++i) {
    const ssize_t length = readlink(hop.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target) break;
    const std::string next(target, static_cast<size_t>(length));
    // A relative target starts from the link's folder: the link's name, then "..".
    hop = Tidied(next.starts_with('/') ? next : hop + "/../" + next);
    paths.push_back(hop);
  }
  paths.push_back(device);
  return paths;
}

std::string LastComponent(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDead(long pid) {
  return pid <= 0 || pid > INT_MAX || (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

enum class LockState { kNone, kLive, kStale };

// What a lock file says: the PID in HDB text (leading blanks, digits, and
// whatever follows, as minicom writes its name after it), or as four binary
// bytes, as some old programs wrote it. A process of another user, which
// kill may not signal (EPERM), is alive.
LockState Inspect(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? LockState::kNone : LockState::kLive;
  char content[64] = {};
  const ssize_t length = read(fd, content, sizeof content - 1);
  struct stat info {};
  const bool fresh = fstat(fd, &info) != 0 || info.st_mtime > time(nullptr) - kFreshLockSeconds;
  close(fd);
  if (length < 0) return LockState::kLive;  // unreadable: assume its owner is there
  // Empty: its maker is about to write its PID, as pppd does (and pppd
  // itself refuses such a lock), unless it has been empty for long.
  if (length == 0) return fresh ? LockState::kLive : LockState::kStale;

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
  return pid == getpid() || IsDead(pid) ? LockState::kStale : LockState::kLive;
}

// Takes a stale lock away without ever removing a fresh one that another
// process put there since it was inspected: the file is first moved to a
// name of this process's own, looked at again there, and put back unless it
// is still stale.
void TakeOver(const std::string& path, const std::string& parked) {
  if (rename(path.c_str(), parked.c_str()) != 0) return;  // gone already, or not ours to move
  // A fresh lock goes back. Should the link fail because yet another was
  // made there since, the port is held all the same.
  if (Inspect(parked) != LockState::kStale) {
    [[maybe_unused]] const int relinked = link(parked.c_str(), path.c_str());
  }
  unlink(parked.c_str());
}

// Removes the temporary files of makers that are gone: LTMP.PID, and a stale
// lock moved aside as LTMP.PID.stale, left by a run killed meanwhile.
void RemoveDeadTemporaries(const std::string& folder) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view name(entry->d_name);
    if (!name.starts_with(kTemporaryPrefix)) continue;
    std::string_view rest = name.substr(kTemporaryPrefix.size());
    const size_t digits = std::min(rest.find_first_not_of("0123456789"), rest.size());
    const std::string_view after = rest.substr(digits);
    if (digits == 0 || digits > 10 || !(after.empty() || after == kParkedSuffix)) continue;
    if (IsDead(std::strtol(std::string(rest.substr(0, digits)).c_str(), nullptr, 10)))
      unlink((folder + "/" + std::string(name)).c_str());
  }
  closedir(listing);
}

// The lock's content, in a file of its own that is linked under each lock
// name, so that no reader ever finds a lock without its PID. Where the file
// system allows, that file has no name of its own, so that a run killed
// before linking it leaves nothing; elsewhere it is LTMP.PID. -1 when the
// caller may not create files in the folder.
int CreateContent(const std::string& folder, std::string& named) {
  char content[16];
  const int length = std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(getpid()));
  named.clear();
  int fd = open(folder.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0644);
  // Linking a nameless file needs /proc, or CAP_DAC_READ_SEARCH.
  if (fd >= 0 && access(("/proc/self/fd/" + std::to_string(fd)).c_str(), F_OK) != 0) {
    close(fd);
    fd = -1;
  }
  if (fd < 0) {
    named = folder + "/" + std::string(kTemporaryPrefix) + std::to_string(getpid());
    unlink(named.c_str());  // this PID's maker is gone: it is this process
    fd = open(named.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  }
  if (fd >= 0 && fchmod(fd, 0644) == 0 && write(fd, content, static_cast<size_t>(length)) == length)
    return fd;
  if (fd >= 0) close(fd);
  if (!named.empty()) unlink(named.c_str());
  named.clear();
  return -1;
}

int LinkContent(int fd, const std::string& named, const std::string& path) {
  if (!named.empty()) return link(named.c_str(), path.c_str());
  if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
  if (errno == EEXIST) return -1;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
}

void CloseHeldFolder() {
  if (g_fdHeldFolder >= 0) close(g_fdHeldFolder);
  g_fdHeldFolder = -1;
}

}  // namespace

std::vector<std::string> UucpPortLock::LockNamesFor(const std::vector<std::string>& paths) {
  std::vector<std::string> names;
  for (const std::string& path : paths) {
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
  // No program can hold a lock under a name too long for a file.
  for (const std::string& name : names)
    if (name.size() > 5 && name.size() <= NAME_MAX &&
        std::find(unique.begin(), unique.end(), name) == unique.end())
      unique.push_back(name);
  return unique;
}

uint32_t UucpPortLock::Acquire(const char16_t* devicePath) {
  Release();
  const std::string file = PosixComm::DeviceFileFor(devicePath);
  char resolved[PATH_MAX];
  // No such device: nothing to guard, and the exchange reports the failure.
  if (realpath(file.c_str(), resolved) == nullptr) return 0;
  const std::vector<std::string> names = LockNamesFor(PathsAlongLinks(file, resolved));

  // Until every name is held and recorded, a signal would find the handler
  // without the record: it waits.
  SignalsHeld held;
  g_fdHeldFolder = open(m_strFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  RemoveDeadTemporaries(m_strFolder);
  std::string named;
  const int fd = CreateContent(m_strFolder, named);
  struct stat content {};
  // A folder the caller may not write to: checking the names is all we can do.
  const bool canLock = fd >= 0 && fstat(fd, &content) == 0 && g_fdHeldFolder >= 0;
  const std::string parked =
      m_strFolder + "/" + std::string(kTemporaryPrefix) + std::to_string(getpid()) + kParkedSuffix;
  g_nHeldDevice = content.st_dev;
  g_nHeldInode = content.st_ino;

  uint32_t result = 0;
  // Every name is taken: pppd looks only at its own, the terminal programs
  // at theirs.
  for (const std::string& name : names) {
    const std::string path = m_strFolder + "/" + name;
    bool taken = false;
    for (int attempt = 0; attempt < kAttempts && !taken && result == 0; ++attempt) {
      if (canLock && LinkContent(fd, named, path) == 0) {
        std::memcpy(g_szHeldNames[g_nHeldNames], name.c_str(), name.size() + 1);
        g_nHeldNames = g_nHeldNames + 1;
        taken = true;
      } else if (canLock && errno != EEXIST) {
        // No room for a lock of our own under this name: checked only.
        if (Inspect(path) == LockState::kLive) result = EBUSY;
        taken = true;
      } else {
        const LockState state = Inspect(path);
        if (state == LockState::kLive) result = EBUSY;
        if (state == LockState::kStale) TakeOver(path, parked);
        taken = !canLock && state != LockState::kLive;
      }
    }
    if (!taken) result = EBUSY;
    if (result != 0) break;
  }
  if (fd >= 0) close(fd);
  if (!named.empty()) unlink(named.c_str());
  if (result != 0) RemoveHeldNames();
  if (g_nHeldNames > 0)
    RegisterReleaseStep(RemoveHeldNames);
  else
    CloseHeldFolder();
  return result;
}

void UucpPortLock::Release() {
  SignalsHeld held;
  if (g_nHeldNames > 0) {
    RemoveHeldNames();
    UnregisterReleaseStep(RemoveHeldNames);
  }
  CloseHeldFolder();
}

}  // namespace halvorn
