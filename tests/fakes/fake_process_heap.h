// A process heap that can refuse, and counts what is taken and given back.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "dialup/entry/process_heap.h"

namespace halvorn::testing {

class FakeProcessHeap final : public ProcessHeap {
 public:
  explicit FakeProcessHeap(std::vector<std::string>& log) : m_log(log) {}
  bool fails = false;
  int liveBlocks = 0;

  void* AllocateZeroed(size_t bytes) override {
    m_log.push_back("AllocateZeroed " + std::to_string(bytes));
    return fails ? nullptr : (++liveBlocks, std::calloc(1, bytes));
  }
  void Free(void* block) override { m_log.push_back("Free"), --liveBlocks, std::free(block); }

 private:
  std::vector<std::string>& m_log;
};

}  // namespace halvorn::testing
