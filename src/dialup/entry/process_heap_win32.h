#pragma once

#include "dialup/entry/process_heap.h"

namespace halvorn {

// GetProcessHeap, HeapAlloc with HEAP_ZERO_MEMORY, HeapFree.
class Win32ProcessHeap final : public ProcessHeap {
 public:
  void* AllocateZeroed(size_t bytes) override;
  void Free(void* block) override;
};

}  // namespace halvorn
