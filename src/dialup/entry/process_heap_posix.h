#pragma once

#include "dialup/entry/process_heap.h"

namespace halvorn {

class PosixProcessHeap final : public ProcessHeap {
 public:
  void* AllocateZeroed(size_t bytes) override;
  void Free(void* block) override;
};

}  // namespace halvorn
