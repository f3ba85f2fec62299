#include "dialup/entry/process_heap_posix.h"

#include <cstdlib>

namespace halvorn {

void* PosixProcessHeap::AllocateZeroed(size_t bytes) { return std::calloc(1, bytes); }

void PosixProcessHeap::Free(void* block) { std::free(block); }

}  // namespace halvorn
