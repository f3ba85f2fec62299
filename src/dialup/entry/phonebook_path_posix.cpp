#include <algorithm>
#include <iterator>

#include "dialup/entry/environment_posix.h"
#include "dialup/entry/phonebook_path.h"
#include "text/utf8.h"

namespace halvorn {

std::string PosixPhonebookPath() {
  char16_t buffer[kPhonebookPathChars] = {};
  std::copy(std::begin(kPhonebookFileName), std::end(kPhonebookFileName), buffer);
  if (PosixEnvironment().ExpandInPlace(buffer, kPhonebookPathChars) != 0) return {};
  return EncodeUtf8(buffer);
}

}  // namespace halvorn
