// Size and concatenation of item identifier lists in the shell's layout.
#pragma once

#include <cstdint>

#include "dialup/shortcut/shell.h"

namespace halvorn {

// Bytes of list including its 2-byte terminator; 0 for no list.
uint32_t IdListSize(const ItemIdList* list);

// first followed by second, in a new block from allocator. No first list gives
// none; no second list gives first itself (not a copy); none when the
// allocation fails. The caller frees the result only when it differs from first.
ItemIdList* CombineIdLists(ShellAllocator& allocator, ItemIdList* first, const ItemIdList* second);

}  // namespace halvorn
