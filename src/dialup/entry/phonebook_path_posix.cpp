#include <limits.h>
#include <unistd.h>

#include "dialup/entry/environment_posix.h"
#include "dialup/entry/phonebook_path.h"
#include "text/utf8.h"

namespace halvorn {

std::string PosixPhonebookPath() {
  char16_t buffer[kPhonebookPathChars] = {};
  if (PosixEnvironment().AllUsersPhonebookFile(buffer, kPhonebookPathChars) != 0) return {};
  std::string path = EncodeUtf8(buffer);
  // A run may change folders (to put a launcher on the desktop) and still
  // has its phonebook, credentials and locks to finish with: a relative
  // ALLUSERSPROFILE is taken from where the run started.
  if (path.front() != '/') {
    char folder[PATH_MAX];
    if (getcwd(folder, sizeof folder) == nullptr) return {};
    path = std::string(folder) + (folder[1] == '\0' ? "" : "/") + path;
  }
  return path;
}

}  // namespace halvorn
