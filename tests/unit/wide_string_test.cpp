#include <gtest/gtest.h>

#include "text/narrow_copy.h"
#include "text/wide_string.h"

namespace halvorn {
namespace {

// Replace, Trim, MakeUpper and Tokenize as the query uses them are checked
// through it (interrogation_test.cpp, tests/e2e/query_*.sh). The new text is
// never rescanned, so growing replacements end.
TEST(WideStringReplace, NewTextIsNeverRescanned) {
  WideString s(u"x==");
  EXPECT_EQ(s.Replace(u"=", u"=="), 2);
  EXPECT_EQ(s, WideString(u"x===="));
}

// Invalid UTF-8 never fails: each bad byte widens to U+FFFD.
TEST(WideStringAssignNarrow, InvalidBytesBecomeReplacementCharacters) {
  WideString s(u"x");
  EXPECT_EQ(s.AssignNarrow("O\xff" "K\xc3"), WideString(u"O\ufffdK\ufffd"));
  EXPECT_EQ(s.AssignNarrow("\xed\xa0\x80"), WideString(u"\ufffd\ufffd\ufffd"));  // encoded surrogate
  EXPECT_EQ(s.AssignNarrow("caf\xc3\xa9 \xf0\x9f\x93\x9e"), WideString(u"caf\u00e9 \U0001F4DE"));
}

// Either side of the end of the inline area, in four-byte characters; a lone
// surrogate becomes U+FFFD.
TEST(NarrowCopyTest, WholeTextOfAnyLength) {
  for (size_t length : {31, 32}) {
    std::u16string emoji;
    std::string emojiBytes;
    for (size_t i = 0; i < length; ++i) emoji += u"\U0001F4DE", emojiBytes += "\xf0\x9f\x93\x9e";
    EXPECT_EQ(std::string(NarrowCopy(emoji.c_str(), 3).Get()), emojiBytes);
  }
  const char16_t lone[] = {u'A', 0xD800, u'B', 0};
  EXPECT_STREQ(NarrowCopy(lone, 3).Get(), "A\xef\xbf\xbd" "B");
}

}  // namespace
}  // namespace halvorn
