// The seam to process start-up: the framework initialisation that the tool
// performs before it looks at its arguments, and which can fail.
#pragma once

#include <cstdint>

namespace halvorn {

class Runtime {
 public:
  virtual ~Runtime() = default;
  virtual bool Initialize() = 0;
};

// Only 8 bits of a status reach a POSIX shell: -1 shows as 255, and a failure
// whose low byte is 0 shows as 1 rather than as success.
int ToPosixExitStatus(int32_t status);

}  // namespace halvorn
