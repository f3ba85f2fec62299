#include "profile/locked_file_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <string_view>
#include <thread>

#include "profile/file_descriptor_posix.h"
#include "profile/temporary_file_posix.h"

namespace halvorn {
namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel's own limit
constexpr int kLockPollMs = 20;

// A run holds the lock for milliseconds; anyone holding it longer is stuck
// or hostile, and the update fails rather than wait for them.
constexpr int kLockWaitMs = 10000;

// The file a path names: its folder, open, and its last name in it.
struct Location {
  FileDescriptor folder;
  std::string folderPath;
  std::string name;
};

int Split(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return EISDIR;
  return 0;
}

// The kernel's protected_symlinks rule: in a sticky, world-writable folder
// only a link of the folder's owner or of the caller is followed.
bool MayFollow(const struct stat& link, const struct stat& folder) {
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return !shared || link.st_uid == folder.st_uid || link.st_uid == ::geteuid();
}

// Opens the folder of path and follows links at its end as the rule above
// allows (a dangling link leads to the name it points at). With followLinks
// false a link is refused.
int Locate(const std::string& requested, bool followLinks, Location& where) {
  std::string path = requested;
  for (int hops = 0;; ++hops) {
    if (int error = Split(path, where.folderPath, where.name)) return error;
    const int fd = OpenAt(AT_FDCWD, where.folderPath.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return errno;
    where.folder.Reset(fd);
    struct stat link {};
    if (::fstatat(fd, where.name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0)
      return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(link.st_mode)) return 0;
    struct stat folder {};
    if (::fstat(fd, &folder) != 0) return errno;
    if (!followLinks || !MayFollow(link, folder)) return EACCES;
    if (hops == kMaxLinkHops) return ELOOP;
    char target[PATH_MAX];
    const ssize_t length = ::readlinkat(fd, where.name.c_str(), target, sizeof target);
    if (length < 0) return errno;
    if (length == 0 || static_cast<size_t>(length) == sizeof target) return ENAMETOOLONG;
    const std::string_view next(target, static_cast<size_t>(length));
    path = next.front() == '/' ? std::string(next) : where.folderPath + "/" + std::string(next);
  }
}

// Set while a WriterLock is held: the folders need no lock of their own.
int g_nWriterLocks = 0;

// Takes the folder's exclusive lock, waiting a bounded time for it.
int LockFolder(int folder) {
  if (g_nWriterLocks > 0) return 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
  while (::flock(folder, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return errno;
    if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(kLockPollMs));
  }
  return 0;
}


// Whether only the caller (or root) can write into a folder, as ssh's
// StrictModes asks of the folders that hold its keys. Ancestors may be
// sticky, which keeps others from moving what the caller owns in them.
bool IsPrivateFolder(int folder) {
  const uid_t me = ::geteuid();
  // O_PATH: a folder above that lets the caller through but not read it
  // (a home folder of mode 0711) is looked at all the same.
  FileDescriptor current(OpenAt(folder, ".", O_PATH | O_DIRECTORY));
  for (bool first = true;; first = false) {
    struct stat info {};
    if (current.Get() < 0 || ::fstat(current.Get(), &info) != 0) return false;
    if (info.st_uid != me && info.st_uid != 0) return false;
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) && (first || !(info.st_mode & S_ISVTX))) return false;
    FileDescriptor parent(OpenAt(current.Get(), "..", O_PATH | O_DIRECTORY));
    struct stat above {};
    if (parent.Get() < 0 || ::fstat(parent.Get(), &above) != 0) return false;
    if (above.st_dev == info.st_dev && above.st_ino == info.st_ino) return true;  // the root
    current.Reset(parent.Release());
  }
}

// The mode of a new file: the asked mode without group and other write bits,
// narrowed further by a strict umask.
mode_t FreshMode(mode_t asked) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return asked & ~(mask | S_IWGRP | S_IWOTH) & 07777;
}

// Opens an existing regular file without waiting on it (a FIFO would block
// an open for reading, a device could be anything) and checks its type on the
// descriptor. fd stays -1 for a missing file.
int OpenRegular(const Location& where, FileDescriptor& file,
                struct stat& info) {
  if (::fstatat(where.folder.Get(), where.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? 0 : errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  // A link here was refused by Locate, or planted since.
  if (S_ISLNK(info.st_mode)) return EACCES;
  if (!S_ISREG(info.st_mode)) return EINVAL;
  const int fd = OpenAt(where.folder.Get(), where.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return errno == ELOOP ? EACCES : errno;
  file.Reset(fd);
  if (::fstat(fd, &info) != 0) return errno;
  return S_ISREG(info.st_mode) ? 0 : EINVAL;
}

int ReadAll(int fd, size_t sizeHint, std::string& text) {
  text.clear();
  // Room for the file and for the few lines an edit adds, so that the edit
  // does not copy the whole text into a buffer twice its size.
  text.reserve(sizeHint + sizeHint / 64 + 4096);
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    text.append(buffer, static_cast<size_t>(got));
  }
}

int WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(put);
  }
  return 0;
}

// Writes text to a temporary file in the folder and renames it over the name.
// On any error the temporary file is removed and the old file left as it was.
int ReplaceContents(const Location& where, const std::string& text, const struct stat* old,
                    mode_t mode) {
  const int folder = where.folder.Get();
  std::string tempName;
  FileDescriptor temp;
  if (int error = CreateTemporary(folder, tempName, temp)) return error;

  int error = 0;
  if (old != nullptr && ::fchown(temp.Get(), old->st_uid, old->st_gid) != 0) {
    // Only root may give files away; for anyone else the file is theirs
    // already or the write was refused, so this is no reason to fail.
  }
  // fchmod is not narrowed by the umask: the mode is exactly the one chosen.
  if (::fchmod(temp.Get(), mode) != 0) error = errno;
  if (error == 0) error = WriteAll(temp.Get(), text);
  if (error == 0 && ::fsync(temp.Get()) != 0) error = errno;
  // The file stays open, and so flocked, until it has its name: to a cleanup
  // it is a live run's until then.
  if (error == 0 && ::renameat(folder, tempName.c_str(), folder, where.name.c_str()) != 0)
    error = errno;
  if (error == 0) error = temp.Close();
  if (error != 0) {
    ::unlinkat(folder, tempName.c_str(), 0);
    return error;
  }
  // Make the rename itself durable; the new text is in place already.
  if (::fsync(folder) != 0 && errno != EINVAL && errno != EBADF) return errno;
  return 0;
}

// A lock file such as WriterLock makes: the caller's own regular file, open
// to no one else, and no other file's name (a hard link). One its holder has
// just removed has no name at all; the wait for it starts over.
bool IsOwnLockFile(const struct stat& info) {
  return S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0 &&
         info.st_nlink <= 1;
}

}  // namespace

int UpdateFileLocked(const std::string& path, const std::function<bool(std::string& text)>& edit,
                     mode_t newFileMode, FileSecrecy secrecy) {
  if (path.empty()) return ENOENT;
  const bool secret = secrecy == FileSecrecy::kSecret;
  Location where;
  if (int error = Locate(path, !secret, where)) return error;
  if (secret && !IsPrivateFolder(where.folder.Get())) return EACCES;
  if (int error = LockFolder(where.folder.Get())) return error;
  RemoveDeadTemporaries(where.folder.Get());

  FileDescriptor file;
  struct stat info {};
  if (int error = OpenRegular(where, file, info)) return error;
  const bool existed = file.Get() >= 0;
  std::string text;
  if (existed) {
    // The rename would replace a file we may not write to (one without any
    // write bit, or another user's); like Windows, such a file is refused.
    if ((info.st_mode & 0222) == 0) return EACCES;
    if (::faccessat(where.folder.Get(), where.name.c_str(), W_OK, 0) != 0)
      return errno;
    if (secret && info.st_uid != ::geteuid()) return EACCES;
    if (int error = ReadAll(file.Get(), static_cast<size_t>(info.st_size), text)) return error;
    file.Reset(-1);
  }
  if (!edit(text)) return 0;
  const mode_t mode = secret ? (newFileMode & 0700) : existed ? (info.st_mode & 07777)
                                                              : FreshMode(newFileMode);
  return ReplaceContents(where, text, existed ? &info : nullptr, mode);
  // The lock goes with the folder's descriptor, after the rename.
}

int PlaceFileLocked(const std::string& path, const std::string& text, mode_t mode, gid_t group,
                    bool replace) {
  Location where;
  if (int error = Locate(path, false, where)) return error;
  if (int error = LockFolder(where.folder.Get())) return error;
  RemoveDeadTemporaries(where.folder.Get());
  const int folder = where.folder.Get();
  struct stat old {};
  if (::fstatat(folder, where.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
      (!replace || !S_ISREG(old.st_mode)))
    return EEXIST;

  std::string tempName;
  FileDescriptor temp;
  if (int error = CreateTemporary(folder, tempName, temp)) return error;
  int error = WriteAll(temp.Get(), text);
  if (error == 0 && group != kKeepGroup && ::fchown(temp.Get(), static_cast<uid_t>(-1), group) != 0)
    error = errno;
  if (error == 0 && ::fchmod(temp.Get(), mode) != 0) error = errno;
  if (error == 0 && ::fsync(temp.Get()) != 0) error = errno;
  // A new name is linked, which never replaces a file that appeared since.
  bool placed = false;
  if (error == 0 && replace) {
    placed = ::renameat(folder, tempName.c_str(), folder, where.name.c_str()) == 0;
    if (!placed) error = errno;
  } else if (error == 0 && ::linkat(folder, tempName.c_str(), folder, where.name.c_str(), 0) != 0) {
    error = errno;
  }
  if (!placed) ::unlinkat(folder, tempName.c_str(), 0);
  if (error == 0) error = temp.Close();
  if (error != 0) return error;
  ::fsync(folder);  // the file is in place; this only makes its name durable sooner
  return 0;
}

int CheckSecretStore(const std::string& path) {
  if (path.empty()) return ENOENT;
  Location where;
  const int error = Locate(path, false, where);
  if (error == ENOENT) return 0;  // the folder is made private when it is made
  if (error != 0) return error;
  if (!IsPrivateFolder(where.folder.Get())) return EACCES;
  FileDescriptor file;
  struct stat info {};
  if (int openError = OpenRegular(where, file, info)) return openError;
  if (file.Get() < 0) return 0;
  // As the update would find it: a file without any write bit, or another
  // user's, is refused.
  return info.st_uid != ::geteuid() || (info.st_mode & 0222) == 0 ? EACCES : 0;
}

int RemoveFileLocked(const std::string& path,
                     const std::function<bool(const std::string& text)>& remove) {
  Location where;
  if (int error = Locate(path, false, where)) return error == ENOENT ? 0 : error;
  if (int error = LockFolder(where.folder.Get())) return error;
  FileDescriptor file;
  struct stat info {};
  if (int error = OpenRegular(where, file, info)) return error;
  if (file.Get() < 0) return 0;
  std::string text;
  if (int error = ReadAll(file.Get(), static_cast<size_t>(info.st_size), text)) return error;
  if (!remove(text)) return 0;
  if (::unlinkat(where.folder.Get(), where.name.c_str(), 0) != 0) return errno;
  ::fsync(where.folder.Get());
  return 0;
}

WriterLock::~WriterLock() { Release(); }

int WriterLock::Acquire(const std::string& path) {
  Release();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
  for (;;) {
    FileDescriptor lock(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY |
                                                 O_NONBLOCK, 0600));
    if (lock.Get() < 0) return errno == ELOOP ? EACCES : errno;
    struct stat held {};
    if (::fstat(lock.Get(), &held) != 0) return errno;
    // Only a file of the caller's own can keep others out.
    if (!IsOwnLockFile(held)) return EACCES;
    while (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return errno;
      if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
      std::this_thread::sleep_for(std::chrono::milliseconds(kLockPollMs));
    }
    // The holder before us removes the file as it lets go: a lock on a file
    // no longer at the path keeps no one out, so the wait starts over.
    struct stat now {};
    if (::stat(path.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
        now.st_ino == held.st_ino) {
      m_fdLock = lock.Release();
      m_strPath = path;
      ++g_nWriterLocks;
      return 0;
    }
  }
}

void WriterLock::RemoveStale(const std::string& path) {
  struct stat held {}, now {};
  if (::lstat(path.c_str(), &held) != 0 || !IsOwnLockFile(held)) return;
  FileDescriptor lock(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  // Removed only when no run holds it; a run that opened it meanwhile finds
  // it gone once it holds it, and starts over (see Acquire).
  if (lock.Get() >= 0 && ::fstat(lock.Get(), &held) == 0 && IsOwnLockFile(held) &&
      ::flock(lock.Get(), LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &now) == 0 &&
      now.st_dev == held.st_dev && now.st_ino == held.st_ino)
    ::unlink(path.c_str());
}

void WriterLock::Release() {
  if (m_fdLock < 0) return;
  --g_nWriterLocks;
  ::unlink(m_strPath.c_str());
  ::close(m_fdLock);
  m_fdLock = -1;
}

int ReadFileLocked(const std::string& path, std::string& text) {
  text.clear();
  if (path.empty()) return ENOENT;
  Location where;
  if (int error = Locate(path, true, where)) return error;
  FileDescriptor file;
  struct stat info {};
  if (int error = OpenRegular(where, file, info)) return error;
  if (file.Get() < 0) return ENOENT;
  return ReadAll(file.Get(), static_cast<size_t>(info.st_size), text);
}

}  // namespace halvorn
