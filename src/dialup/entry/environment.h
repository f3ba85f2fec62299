// The seam to the platform's expansion of environment references.
#pragma once

#include <cstdint>

namespace halvorn {

class Environment {
 public:
  virtual ~Environment() = default;
  // Replaces every %NAME% of a defined variable in the zero-terminated text in
  // buffer by its value, in place, as DoEnvironmentSubstW does; capacity counts
  // characters including the terminator. Returns 0, or the platform's error
  // code with the buffer unchanged (for instance when the result does not fit).
  virtual uint32_t ExpandInPlace(char16_t* buffer, uint32_t capacity) = 0;
};

}  // namespace halvorn
