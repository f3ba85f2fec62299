#include "text/console_posix.h"

#include <unistd.h>

#include <cerrno>

namespace halvorn {

void PosixConsole::WriteBytes(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(m_fdOutput, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // nowhere to report a broken stdout
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

}  // namespace halvorn
