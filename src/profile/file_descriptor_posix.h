// What the POSIX file code of this folder opens files with: a descriptor that
// is closed on every way out, and openat that retries an interrupted call and
// neither leaks the descriptor into a child nor takes a controlling terminal.
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

namespace halvorn {

// Closes a descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : m_fdFile(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (m_fdFile >= 0) ::close(m_fdFile);
  }
  int Get() const { return m_fdFile; }
  void Reset(int fd) {
    if (m_fdFile >= 0) ::close(m_fdFile);
    m_fdFile = fd;
  }
  int Release() {
    int fd = m_fdFile;
    m_fdFile = -1;
    return fd;
  }
  // Closes now, reporting the error that a deferred close would swallow.
  int Close() {
    int fd = m_fdFile;
    m_fdFile = -1;
    return (::close(fd) == 0) ? 0 : errno;
  }

 private:
  int m_fdFile;
};

inline int OpenAt(int folder, const char* name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(folder, name, flags | O_CLOEXEC | O_NOCTTY, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace halvorn
