// The seam to the process heap, where the entry record lives for one command.
#pragma once

#include <cstddef>

namespace halvorn {

class ProcessHeap {
 public:
  virtual ~ProcessHeap() = default;
  // A zero-filled block of bytes, or null when none is available.
  virtual void* AllocateZeroed(size_t bytes) = 0;
  virtual void Free(void* block) = 0;
};

}  // namespace halvorn
