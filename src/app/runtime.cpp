#include "app/runtime.h"

namespace halvorn {

int ToPosixExitStatus(int32_t status) {
  const int low = static_cast<int>(static_cast<uint32_t>(status) & 0xFFu);
  return (status != 0 && low == 0) ? 1 : low;
}

}  // namespace halvorn
