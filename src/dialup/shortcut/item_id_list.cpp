#include "dialup/shortcut/item_id_list.h"

#include <cstring>

namespace halvorn {

namespace {

// Item counts are little-endian 16-bit values at any alignment.
uint32_t ItemSize(const ItemIdList* item) {
  return static_cast<uint32_t>(item[0]) | (static_cast<uint32_t>(item[1]) << 8);
}

}  // namespace

uint32_t IdListSize(const ItemIdList* list) {
  if (list == nullptr) return 0;
  uint32_t size = 2;
  for (uint32_t count = ItemSize(list); count != 0; count = ItemSize(list)) {
    size += count;
    list += count;
  }
  return size;
}

ItemIdList* CombineIdLists(ShellAllocator& allocator, ItemIdList* first, const ItemIdList* second) {
  if (first == nullptr) return nullptr;
  if (second == nullptr) return first;
  const uint32_t firstBytes = IdListSize(first) - 2;
  const uint32_t secondBytes = IdListSize(second);
  auto* combined = static_cast<ItemIdList*>(allocator.Alloc(firstBytes + secondBytes));
  if (combined == nullptr) return nullptr;
  std::memcpy(combined, first, firstBytes);
  std::memcpy(combined + firstBytes, second, secondBytes);
  return combined;
}

}  // namespace halvorn
