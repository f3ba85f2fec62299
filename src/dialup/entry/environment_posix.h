#pragma once

#include "dialup/entry/environment.h"

namespace halvorn {

// Expands %NAME% from the process environment, leaving references to unset
// variables as they are. The only text ever expanded is the phonebook file
// name, so the result is made a POSIX path: ALLUSERSPROFILE defaults to
// /var/lib/halvorn (without trailing slashes), and every backslash of the text
// around the references becomes a slash while values are kept as they are.
// A value that is not valid UTF-8 fails with EILSEQ. PosixPhonebookPath() is
// this expansion, so the entry and its speed keys share one file.
class PosixEnvironment final : public Environment {
 public:
  // The fixed Windows name of the all-users phonebook file, expanded.
  uint32_t AllUsersPhonebookFile(char16_t* buffer, uint32_t capacity) override;
  // Replaces every %NAME% of a defined variable in buffer, in place; 0, or
  // errno's code with the buffer unchanged (ENAMETOOLONG when it does not fit).
  uint32_t ExpandInPlace(char16_t* buffer, uint32_t capacity);
};

}  // namespace halvorn
