#include <gtest/gtest.h>

#include <string>

#include "profile/file_encoding.h"
#include "profile/ini_text.h"

namespace halvorn::ini {
namespace {

std::string Utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) bytes.append({static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)});
  return bytes;
}

// A UTF-16LE file stays UTF-16LE with its own line ends; the units an edit
// does not touch, a lone surrogate and an odd last byte among them, stay.
// (A whole UTF-16 phonebook: tests/e2e/hostile_files.sh.)
TEST(FileEncodingTest, Utf16FileIsEditedInUtf16) {
  std::string bytes = Utf16(u"\uFEFF[COM3]\r\nAT=OK\r\n; \xD800 \U0001F600\r\n") + "\x01";
  ASSERT_TRUE(EditInFileEncoding(bytes, [](std::string& text) {
    return SetValue(text, "COM3", "ATI0", "5 \xC3\xA9");
  }));
  EXPECT_EQ(bytes, Utf16(u"\uFEFF[COM3]\r\nAT=OK\r\n; \xD800 \U0001F600\r\nATI0=5 \u00e9\r\n") + "\x01");
}

}  // namespace
}  // namespace halvorn::ini
