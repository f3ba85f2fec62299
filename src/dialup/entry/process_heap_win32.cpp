#include "dialup/entry/process_heap_win32.h"

#include <windows.h>

namespace halvorn {

void* Win32ProcessHeap::AllocateZeroed(size_t bytes) {
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void Win32ProcessHeap::Free(void* block) { HeapFree(GetProcessHeap(), 0, block); }

}  // namespace halvorn
