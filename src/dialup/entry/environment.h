// The seam to where the platform keeps the all-users phonebook file.
#pragma once

#include <cstdint>

namespace halvorn {

class Environment {
 public:
  virtual ~Environment() = default;
  // Writes the full name of the all-users phonebook file, the one the speed
  // keys go into, zero-terminated into buffer; capacity counts characters
  // including the terminator. Returns 0, or the platform's error code (for
  // instance when the name does not fit).
  virtual uint32_t AllUsersPhonebookFile(char16_t* buffer, uint32_t capacity) = 0;
};

}  // namespace halvorn
