// Sizes and concatenation of item identifier lists.
#include <gtest/gtest.h>

#include <string>

#include "dialup/item_id_list.h"
#include "fakes/fake_shell.h"

namespace halvorn {
namespace {

using testing::FakeShell;

const ItemIdList* Bytes(const std::string& list) {
  return reinterpret_cast<const ItemIdList*>(list.data());
}

const std::string kEmpty("\0\0", 2);
const std::string kOneItem("\x03\x00\x7F\x00\x00", 5);
// Counts above 255 use the high byte: a 0x0102-byte item.
const std::string kLongItem = std::string("\x02\x01", 2) + std::string(0x100, 'x') + kEmpty;
const std::string kThreeItems("\x04\x00\xAA\xBB\x02\x00\x05\x00\x01\x02\x03\x00\x00", 13);

TEST(IdListSizeTest, CountsItemsAndTerminator) {
  EXPECT_EQ(IdListSize(nullptr), 0u);
  EXPECT_EQ(IdListSize(Bytes(kEmpty)), 2u);
  EXPECT_EQ(IdListSize(Bytes(kOneItem)), 5u);
  EXPECT_EQ(IdListSize(Bytes(kLongItem)), 0x104u);
  EXPECT_EQ(IdListSize(Bytes(kThreeItems)), 13u);
}

class CombineIdListsTest : public ::testing::Test {
 protected:
  FakeShell m_shell;
  ShellAllocator* m_pAllocator = m_shell.GetAllocator();
  ~CombineIdListsTest() override { m_pAllocator->Release(); }

  ItemIdList* Owned(const std::string& bytes) { return m_shell.AllocateList(bytes); }
};

TEST_F(CombineIdListsTest, NoFirstListGivesNone) {
  EXPECT_EQ(CombineIdLists(*m_pAllocator, nullptr, Bytes(kOneItem)), nullptr);
  EXPECT_EQ(CombineIdLists(*m_pAllocator, nullptr, nullptr), nullptr);
  EXPECT_TRUE(m_shell.liveBlocks.empty());
}

TEST_F(CombineIdListsTest, NoSecondListGivesTheFirstItself) {
  ItemIdList* first = Owned(kThreeItems);
  EXPECT_EQ(CombineIdLists(*m_pAllocator, first, nullptr), first);
  EXPECT_EQ(m_shell.liveBlocks.size(), 1u);  // nothing new allocated
  m_pAllocator->Free(first);
}

TEST_F(CombineIdListsTest, ConcatenatesIntoANewBlock) {
  struct Case {
    const char* name;
    std::string first, second, combined;
  } cases[] = {
      {"empty + empty", kEmpty, kEmpty, kEmpty},
      {"empty + items", kEmpty, kThreeItems, kThreeItems},
      {"items + empty", kThreeItems, kEmpty, kThreeItems},
      {"items + item", kThreeItems, kOneItem, kThreeItems.substr(0, 11) + kOneItem},
      {"long + items", kLongItem, kThreeItems, kLongItem.substr(0, 0x102) + kThreeItems},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ItemIdList* first = Owned(c.first);
    ItemIdList* combined = CombineIdLists(*m_pAllocator, first, Bytes(c.second));
    ASSERT_NE(combined, nullptr);
    ASSERT_NE(combined, first);
    EXPECT_EQ(IdListSize(combined), c.combined.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(combined), c.combined.size()), c.combined);
    m_pAllocator->Free(combined);
    m_pAllocator->Free(first);
  }
  EXPECT_TRUE(m_shell.liveBlocks.empty());
  EXPECT_EQ(m_shell.badFrees, 0);
}

TEST_F(CombineIdListsTest, FailedAllocationGivesNone) {
  ItemIdList* first = Owned(kThreeItems);
  m_shell.fault = testing::ShellFault::kAlloc;
  EXPECT_EQ(CombineIdLists(*m_pAllocator, first, Bytes(kOneItem)), nullptr);
  m_pAllocator->Free(first);
  EXPECT_TRUE(m_shell.liveBlocks.empty());
}

}  // namespace
}  // namespace halvorn
