#include "profile/temporary_file_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string_view>

namespace halvorn {
namespace {

// Temporary files are ".~hvn" and six letters or digits: short, so that any
// name that fits the folder can be written, and recognisable, so that one left
// by a killed run can be removed.
constexpr std::string_view kTempPrefix = ".~hvn";
// Where a file cannot be made without a name, it is made under a random name
// first, of the same length.
constexpr std::string_view kRandomTempPrefix = ".~hvr";
constexpr size_t kTempSuffixLength = 6;

// The six letters or digits of a name, taken from value.
std::string Suffix(uint64_t value) {
  constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix;
  for (size_t i = 0; i < kTempSuffixLength; ++i, value /= 36) suffix.push_back(kDigits[value % 36]);
  return suffix;
}

// The six characters that prove a temporary file is this tool's: a digest of
// the file's own device and inode numbers, which no other program's file of
// the same name shares but by a one-in-two-billion chance.
std::string TemporaryTag(const struct stat& info) {
  uint64_t mix = static_cast<uint64_t>(info.st_dev) * 0x9E3779B97F4A7C15u ^
                 static_cast<uint64_t>(info.st_ino) ^ 0x68766E2E746D70u;  // "hvn.tmp"
  mix ^= mix >> 31;
  mix *= 0xBF58476D1CE4E5B9u;
  mix ^= mix >> 29;
  return Suffix(mix);
}

// Gives an open, still nameless or randomly named temporary file its tagged
// name in the folder.
int NameTemporary(int folder, int fd, bool anonymous, const std::string& oldName,
                  std::string& name) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return errno;
  name = std::string(kTempPrefix) + TemporaryTag(info);
  if (!anonymous)
    return ::renameat(folder, oldName.c_str(), folder, name.c_str()) == 0 ? 0 : errno;
  // Linking a nameless file by its descriptor needs CAP_DAC_READ_SEARCH;
  // anyone may link it through /proc.
  if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

}  // namespace

int CreateTemporary(int folder, std::string& name, FileDescriptor& file) {
  int fd = OpenAt(folder, ".", O_WRONLY | O_TMPFILE, 0600);
  if (fd >= 0) {
    file.Reset(fd);
    if (::flock(fd, LOCK_EX) == 0 && NameTemporary(folder, fd, true, "", name) == 0) return 0;
    file.Reset(-1);
  }
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t seed = static_cast<uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    seed ^= (static_cast<uint64_t>(::getpid()) << 32) ^
            (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
    const std::string randomName = std::string(kRandomTempPrefix) + Suffix(seed);
    fd = OpenAt(folder, randomName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    file.Reset(fd);
    int error = ::flock(fd, LOCK_EX) == 0 ? 0 : errno;
    if (error == 0) error = NameTemporary(folder, fd, false, randomName, name);
    if (error != 0) {
      ::unlinkat(folder, randomName.c_str(), 0);
      file.Reset(-1);
    }
    return error;
  }
  return EEXIST;
}

void RemoveDeadTemporaries(int folder) {
  const int fd = OpenAt(folder, ".", O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) {
    ::close(fd);
    return;
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name(entry->d_name);
    const bool tagged = name.starts_with(kTempPrefix);
    if (!(tagged || name.starts_with(kRandomTempPrefix)) ||
        name.size() != kTempPrefix.size() + kTempSuffixLength)
      continue;
    FileDescriptor temp(OpenAt(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    struct stat info {};
    if (temp.Get() < 0 || ::fstat(temp.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid() ||
        (tagged ? name.substr(kTempPrefix.size()) != TemporaryTag(info) : info.st_size != 0) ||
        ::flock(temp.Get(), LOCK_EX | LOCK_NB) != 0)
      continue;
    ::unlinkat(folder, entry->d_name, 0);
  }
  ::closedir(listing);
}

}  // namespace halvorn
