// The bytes of the link file and of the project's connection items.
#include <gtest/gtest.h>

#include <string>

#include "dialup/connection_item.h"
#include "dialup/shell_link_file.h"

namespace halvorn {
namespace {

const ItemIdList* Bytes(const std::string& list) {
  return reinterpret_cast<const ItemIdList*>(list.data());
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char byte : bytes) {
    if (!hex.empty()) hex += ' ';
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

TEST(ShellLinkFileTest, HeaderTargetListAndTerminalBlock) {
  const std::string target("\x05\x00\x01\x02\x03\x00\x00", 7);
  const auto file = BuildShellLinkFile(Bytes(target), 0, kShowNormal);
  ASSERT_TRUE(file.has_value());
  ASSERT_EQ(file->size(), 76u + 2 + 7 + 4);
  struct Field {
    const char* name;
    size_t offset;
    std::string hex;
  } fields[] = {
      {"header size", 0, "4C 00 00 00"},
      {"link CLSID", 4, "01 14 02 00 00 00 00 00 C0 00 00 00 00 00 00 46"},
      {"flags: target list, unicode", 20, "81 00 00 00"},
      {"attributes", 24, "00 00 00 00"},
      {"times", 28, Hex(std::string(24, '\0'))},
      {"size and icon", 52, Hex(std::string(8, '\0'))},
      {"show command", 60, "01 00 00 00"},
      {"hot key and reserved", 64, Hex(std::string(12, '\0'))},
      {"list size", 76, "07 00"},
      {"list", 78, "05 00 01 02 03 00 00"},
      {"terminal block", 85, "00 00 00 00"},
  };
  for (const Field& f : fields) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(Hex(file->substr(f.offset, (f.hex.size() + 1) / 3)), f.hex);
  }
}

TEST(ShellLinkFileTest, HotkeyAndShowCommandAreStored) {
  const std::string target("\0\0", 2);
  const auto file = BuildShellLinkFile(Bytes(target), 0x0241, 3);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(Hex(file->substr(60, 6)), "03 00 00 00 41 02");
}

TEST(ShellLinkFileTest, RefusesListsTheSizeFieldCannotHold) {
  EXPECT_FALSE(BuildShellLinkFile(nullptr, 0, kShowNormal).has_value());
  // 0xFFFF bytes of items plus the terminator: one byte too many.
  std::string big;
  for (int i = 0; i < 3; ++i) big += std::string("\xFF\x55", 2) + std::string(0x5553, 'a');
  big += std::string("\0\0", 2);
  ASSERT_EQ(big.size(), 0x10001u);
  EXPECT_FALSE(BuildShellLinkFile(Bytes(big), 0, kShowNormal).has_value());
}

TEST(ConnectionItemTest, FolderListIsMyComputerControlPanelNetworkConnections) {
  EXPECT_EQ(Hex(ConnectionsFolderList()),
            "14 00 1F 50 E0 4F D0 20 EA 3A 69 10 A2 D8 08 00 2B 30 30 9D "
            "14 00 2E 00 20 20 EC 21 EA 3A 69 10 A2 DD 08 00 2B 30 30 9D "
            "14 00 2E 00 C7 AC 07 70 02 32 D1 11 AA D2 00 80 5F C1 27 0E "
            "00 00");
}

TEST(ConnectionItemTest, ItemCarriesSignatureVersionAndName) {
  const auto list = ConnectionItemList(u"Ab\u00e9");
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(Hex(*list), "10 00 48 56 4E 43 01 00 41 00 62 00 E9 00 00 00 00 00");
  EXPECT_EQ(ConnectionItemName(Bytes(*list)), u"Ab\u00e9");
  EXPECT_EQ(ConnectionItemName(Bytes(*ConnectionItemList(u""))), u"");
}

TEST(ConnectionItemTest, OtherItemsHaveNoName) {
  const std::string good = *ConnectionItemList(u"Office");
  struct Case {
    const char* name;
    std::string item;
  } cases[] = {
      {"folder item", ConnectionsFolderList()},
      {"other signature", std::string(good).replace(2, 1, "X")},
      {"other version", std::string(good).replace(6, 1, "\x02")},
      {"no terminator", std::string("\x0C\x00HVNC\x01\x00O\x00" "f\x00\x00\x00", 14)},
      {"text after terminator",
       std::string("\x0E\x00HVNC\x01\x00\x00\x00O\x00\x00\x00", 14) + std::string(2, '\0')},
      {"odd size", std::string("\x0B\x00HVNC\x01\x00\x00\x00\x00\x00\x00", 13)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(ConnectionItemName(Bytes(c.item)).has_value());
  }
  EXPECT_FALSE(ConnectionItemName(nullptr).has_value());
}

}  // namespace
}  // namespace halvorn
