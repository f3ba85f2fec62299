#include "dialup/whole_file_posix.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace halvorn {

namespace {

int WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t count = write(fd, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return count < 0 ? errno : EIO;
    done += static_cast<size_t>(count);
  }
  return 0;
}

}  // namespace

int PlaceWholeFile(const std::string& path, const std::string& text, mode_t mode, gid_t group,
                   bool replace) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  // A short fixed name, so that any name that fits the folder can be written.
  std::string temporary = folder + "/.halvorn.XXXXXX";
  // mkstemp makes the file 0600: it is never wider than asked while written.
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  int error = WriteAll(fd, text);
  if (error == 0 && group != kKeepGroup && fchown(fd, static_cast<uid_t>(-1), group) != 0)
    error = errno;
  if (error == 0 && fchmod(fd, mode) != 0) error = errno;
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  bool renamed = false;
  if (error == 0 && replace) {
    renamed = rename(temporary.c_str(), path.c_str()) == 0;
    if (!renamed) error = errno;
  } else if (error == 0 && link(temporary.c_str(), path.c_str()) != 0) {
    error = errno;  // link never replaces a file
  }
  if (!renamed) unlink(temporary.c_str());
  if (error != 0) return error;
  const int folderFd = open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);  // the file is in place; this only makes the name durable sooner
    close(folderFd);
  }
  return 0;
}

}  // namespace halvorn
