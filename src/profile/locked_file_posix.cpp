#include "profile/locked_file_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace halvorn {
namespace {

// Closes a descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  int Get() const { return m_fd; }
  void Reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }
  // Closes now, reporting the error that a deferred close would swallow.
  int Close() {
    int fd = m_fd;
    m_fd = -1;
    return (::close(fd) == 0) ? 0 : errno;
  }

 private:
  int m_fd;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// A symbolic link is followed to its target, so that the rename replaces the
// file and not the link. A dangling link is written through its own name.
std::string ResolveTarget(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// Takes the exclusive lock on "<path>.lock". The lock file is never deleted:
// deleting it would let a late writer lock a fresh inode while another one
// still holds the old.
int LockBeside(const std::string& path, FileDescriptor& lock) {
  std::string lockPath = path + ".lock";
  int fd = OpenRetrying(lockPath.c_str(), O_RDWR | O_CREAT, 0666);
  if (fd < 0 && (errno == EACCES || errno == EROFS))
    fd = OpenRetrying(lockPath.c_str(), O_RDONLY);  // flock works read-only too
  if (fd < 0) return errno;
  lock.Reset(fd);
  while (::flock(fd, LOCK_EX) != 0)
    if (errno != EINTR) return errno;
  return 0;
}

// Reads the whole file; existed and info describe it when it is there.
int ReadWhole(const std::string& path, std::string& text, bool& existed, struct stat& info) {
  text.clear();
  existed = false;
  int fd = OpenRetrying(path.c_str(), O_RDONLY);
  if (fd < 0) return (errno == ENOENT) ? 0 : errno;
  FileDescriptor file(fd);
  if (::fstat(fd, &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  existed = true;
  char buffer[16384];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  return file.Close();
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

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates a temporary file beside path that no other process uses.
int CreateTemporary(const std::string& path, mode_t mode, std::string& tempPath, int& fd) {
  static std::atomic<unsigned> counter{0};
  size_t slash = path.rfind('/');
  std::string folder = (slash == std::string::npos) ? "" : path.substr(0, slash + 1);
  std::string base = (slash == std::string::npos) ? path : path.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = folder + "." + base + ".tmp" + std::to_string(::getpid()) + "." +
               std::to_string(counter.fetch_add(1));
    fd = OpenRetrying(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd >= 0) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// Writes text to a temporary file beside path and renames it over path. On
// any error the temporary file is removed and path is left as it was.
int ReplaceContents(const std::string& path, const std::string& text, bool existed,
                    const struct stat& old, mode_t newFileMode) {
  std::string tempPath;
  int rawFd = -1;
  // The mode given to open passes through the umask, as for any new file.
  if (int error = CreateTemporary(path, existed ? 0600 : newFileMode, tempPath, rawFd)) return error;
  FileDescriptor temp(rawFd);

  int error = 0;
  if (existed) {
    // Keep the old file's owner where we may (only root may give files away;
    // for anyone else the file is theirs already or the call is refused).
    if (::fchown(rawFd, old.st_uid, old.st_gid) != 0) {
      // Not being allowed to keep the owner is no reason to fail the write.
    }
    if (::fchmod(rawFd, old.st_mode & 07777) != 0) error = errno;
  }
  if (error == 0) error = WriteAll(rawFd, text);
  if (error == 0 && ::fsync(rawFd) != 0) error = errno;
  if (error == 0) error = temp.Close();
  if (error == 0 && ::rename(tempPath.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(tempPath.c_str());
    return error;
  }

  // Make the rename itself durable. The new text is in place already, so a
  // folder that cannot be opened for this does not turn the write into a failure.
  int folderFd = OpenRetrying(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (folderFd >= 0) {
    FileDescriptor folder(folderFd);
    if (::fsync(folderFd) != 0 && errno != EINVAL) return errno;
  }
  return 0;
}

}  // namespace

int UpdateFileLocked(const std::string& requestedPath,
                     const std::function<bool(std::string& text)>& edit, mode_t newFileMode) {
  if (requestedPath.empty()) return ENOENT;
  const std::string path = ResolveTarget(requestedPath);
  FileDescriptor lock;
  if (int error = LockBeside(path, lock)) return error;

  std::string text;
  bool existed = false;
  struct stat info {};
  if (int error = ReadWhole(path, text, existed, info)) return error;
  // The rename would replace a file we may not write to (read-only, or
  // another user's); like Windows, such a file is refused.
  if (existed && ::access(path.c_str(), W_OK) != 0) return errno;
  if (!edit(text)) return 0;
  return ReplaceContents(path, text, existed, info, newFileMode);
  // The lock goes with its descriptor, after the rename.
}

int ReadFileLocked(const std::string& requestedPath, std::string& text) {
  text.clear();
  if (requestedPath.empty()) return ENOENT;
  const std::string path = ResolveTarget(requestedPath);
  FileDescriptor lock;
  int error = LockBeside(path, lock);
  // Writers replace the file by rename, so a reader that cannot take the
  // lock (a folder it may not write to) still sees a whole file.
  if (error != 0 && error != EACCES && error != EROFS) return error;
  bool existed = false;
  struct stat info {};
  if (int readError = ReadWhole(path, text, existed, info)) return readError;
  return existed ? 0 : ENOENT;
}

}  // namespace halvorn
