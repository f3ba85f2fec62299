#pragma once

#include "dialup/environment.h"

namespace halvorn {

// Expands %NAME% from the process environment, leaving references to unset
// variables as they are. The only text ever expanded is the phonebook file
// name, so the result is made a POSIX path: ALLUSERSPROFILE defaults to
// /var/lib/halvorn (without trailing slashes) and every backslash becomes a
// slash afterwards, which gives exactly PosixPhonebookPath().
class PosixEnvironment final : public Environment {
 public:
  uint32_t ExpandInPlace(char16_t* buffer, uint32_t capacity) override;
};

}  // namespace halvorn
