// NarrowCopy: the zero-terminated 8-bit copy of a wide text in a code page,
// the form in which user commands go to the modem. Short texts (up to 31 units)
// stay in a 128-byte inline area; longer ones use the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace halvorn {

class NarrowCopy {
 public:
  static constexpr size_t kInlineCapacity = 128;

  NarrowCopy(const char16_t* source, uint32_t codePage);
  NarrowCopy(const NarrowCopy&) = delete;
  NarrowCopy& operator=(const NarrowCopy&) = delete;

  // Null when the source was missing.
  const char* Get() const { return m_pText; }
  bool UsesHeap() const { return m_pHeap != nullptr; }

 private:
  // Points m_pText at storage of the given size: inline when it fits, else
  // zero-filled heap storage, releasing a heap block that is no longer needed.
  void Reserve(size_t capacity);

  char m_szInline[kInlineCapacity] = {};
  std::unique_ptr<char[]> m_pHeap;
  char* m_pText = nullptr;
};

}  // namespace halvorn
