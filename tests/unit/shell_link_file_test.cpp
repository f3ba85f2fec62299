// The bytes of the link file and of the project's connection items.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "dialup/connection_item.h"
#include "dialup/shell_link_file.h"

namespace halvorn {
namespace {

const ItemIdList* Bytes(const std::string& list) {
  return reinterpret_cast<const ItemIdList*>(list.data());
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  char digits[4];
  for (unsigned char byte : bytes) {
    std::snprintf(digits, sizeof digits, " %02X", byte);
    hex += digits;
  }
  return hex.empty() ? hex : hex.substr(1);
}

std::string Zeros(size_t count) { return Hex(std::string(count, '\0')); }

TEST(ShellLinkFileTest, HeaderTargetListAndTerminalBlock) {
  const auto file = BuildShellLinkFile(Bytes(std::string("\x05\x00\x01\x02\x03\x00\x00", 7)), 0x0241, 3);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(Hex(*file),
            "4C 00 00 00 01 14 02 00 00 00 00 00 C0 00 00 00 00 00 00 46 "  // size, CLSID
            "81 00 00 00 " + Zeros(36) +  // target list and Unicode; attributes, times, size, icon
            " 03 00 00 00 41 02 " + Zeros(10) +            // show command, hot key, reserved
            " 07 00 05 00 01 02 03 00 00 00 00 00 00");  // list size, list, terminal block
}

TEST(ShellLinkFileTest, RefusesListsTheSizeFieldCannotHold) {
  EXPECT_FALSE(BuildShellLinkFile(nullptr, 0, kShowNormal).has_value());
  // 0xFFFF bytes of items plus the terminator: one byte too many.
  std::string big;
  for (int i = 0; i < 3; ++i) big += std::string("\xFF\x55", 2) + std::string(0x5553, 'a');
  big += std::string("\0\0", 2);
  EXPECT_FALSE(BuildShellLinkFile(Bytes(big), 0, kShowNormal).has_value());
}

TEST(ConnectionItemTest, ItemCarriesSignatureVersionAndName) {
  const std::string item = *ConnectionItemList(u"Ab\u00e9");
  EXPECT_EQ(Hex(item), "10 00 48 56 4E 43 01 00 41 00 62 00 E9 00 00 00 00 00");
  EXPECT_EQ(ConnectionItemName(Bytes(item)), u"Ab\u00e9");
  EXPECT_EQ(ConnectionItemName(Bytes(*ConnectionItemList(u""))), u"");
}

TEST(ConnectionItemTest, OtherItemsHaveNoName) {
  const std::string good = *ConnectionItemList(u"Office");
  for (const std::string& other : {
           ConnectionsFolderList(), std::string(good).replace(2, 1, "X"),  // signature
           std::string(good).replace(6, 1, "\x02"),                         // version
           std::string("\x0C\x00HVNC\x01\x00O\x00" "f\x00\x00\x00", 14),    // no terminator
           std::string("\x0E\x00HVNC\x01\x00\x00\x00O\x00\x00\x00\x00\x00", 16),  // text after it
           std::string("\x0B\x00HVNC\x01\x00\x00\x00\x00\x00\x00", 13)})  // odd size
    EXPECT_FALSE(ConnectionItemName(Bytes(other)).has_value()) << Hex(other);
  EXPECT_FALSE(ConnectionItemName(nullptr).has_value());
}

}  // namespace
}  // namespace halvorn
