// Sizes and concatenation of item identifier lists.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "dialup/item_id_list.h"
#include "fakes/fake_shell.h"

namespace halvorn {
namespace {

const ItemIdList* Bytes(const std::string& list) {
  return reinterpret_cast<const ItemIdList*>(list.data());
}

const std::string kEmpty("\0\0", 2);
const std::string kOneItem("\x03\x00\x7F\x00\x00", 5);
// Counts above 255 use the high byte: a 0x0102-byte item.
const std::string kLongItem = std::string("\x02\x01", 2) + std::string(0x100, 'x') + kEmpty;
const std::string kThreeItems("\x04\x00\xAA\xBB\x02\x00\x05\x00\x01\x02\x03\x00\x00", 13);

// A folder and an item, a failed allocation among them, are combined in the
// shortcut tests (connection_shortcut_test.cpp); here the edge cases.
TEST(ItemIdListTest, CombineMakesANewBlockOrGivesTheFirstOrNone) {
  testing::FakeShell shell;
  ShellAllocator& allocator = *shell.GetAllocator();
  EXPECT_EQ(CombineIdLists(allocator, nullptr, Bytes(kOneItem)), nullptr);
  ItemIdList* first = shell.AllocateList(kThreeItems);
  EXPECT_EQ(CombineIdLists(allocator, first, nullptr), first);  // itself, nothing allocated
  allocator.Free(first);
  for (const auto& [one, two, both] : {std::tuple{kEmpty, kEmpty, kEmpty},
                                       {kThreeItems, kEmpty, kThreeItems},
                                       {kLongItem, kThreeItems, kLongItem.substr(0, 0x102) + kThreeItems}}) {
    first = shell.AllocateList(one);
    ItemIdList* combined = CombineIdLists(allocator, first, Bytes(two));
    ASSERT_NE(combined, first);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(combined), IdListSize(combined)), both);
    allocator.Free(combined);
    allocator.Free(first);
  }
  EXPECT_TRUE(shell.liveBlocks.empty());
  allocator.Release();
}

}  // namespace
}  // namespace halvorn
