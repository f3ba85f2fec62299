#include <gtest/gtest.h>

#include "text/narrow_copy.h"
#include "text/wide_string.h"

namespace halvorn {
namespace {

// Replace, Trim, MakeUpper and Tokenize as the query uses them are checked
// through it (interrogation_test.cpp, command words in dispatch_test.cpp).
TEST(WideStringReplace, LeftmostNonOverlappingNeverRescanned) {
  struct Case { const char16_t *text, *oldText, *newText, *expected; int32_t count; };
  for (const Case& c : {Case{u"aaa", u"aa", u"b", u"ba", 1}, Case{u"x==", u"=", u"==", u"x====", 2},
                        Case{u"abc", u"", u"x", u"abc", 0}, Case{u"abcb", u"b", nullptr, u"ac", 2}}) {
    WideString s(c.text);
    EXPECT_EQ(s.Replace(c.oldText, c.newText), c.count);
    EXPECT_EQ(s, WideString(c.expected));
  }
}

// Invalid UTF-8 never fails: each bad byte widens to U+FFFD.
TEST(WideStringAssignNarrow, InvalidBytesBecomeReplacementCharacters) {
  WideString s(u"x");
  EXPECT_EQ(s.AssignNarrow("O\xff" "K\xc3"), WideString(u"O\ufffdK\ufffd"));
  EXPECT_EQ(s.AssignNarrow("\xed\xa0\x80"), WideString(u"\ufffd\ufffd\ufffd"));  // encoded surrogate
  EXPECT_EQ(s.AssignNarrow("caf\xc3\xa9 \xf0\x9f\x93\x9e"), WideString(u"caf\u00e9 \U0001F4DE"));
}

// Around the end of the inline area, in one- and four-byte characters; a lone
// surrogate becomes U+FFFD.
TEST(NarrowCopyTest, WholeTextOfAnyLength) {
  EXPECT_EQ(NarrowCopy(nullptr, 3).Get(), nullptr);
  for (size_t length : {31, 32, 200}) {
    std::u16string ascii(length, u'A'), emoji;
    std::string emojiBytes;
    for (size_t i = 0; i < length; ++i) emoji += u"\U0001F4DE", emojiBytes += "\xf0\x9f\x93\x9e";
    EXPECT_EQ(std::string(NarrowCopy(ascii.c_str(), 3).Get()), std::string(length, 'A'));
    EXPECT_EQ(std::string(NarrowCopy(emoji.c_str(), 3).Get()), emojiBytes);
  }
  const char16_t lone[] = {u'A', 0xD800, u'B', 0};
  EXPECT_STREQ(NarrowCopy(lone, 3).Get(), "A\xef\xbf\xbd" "B");
}

}  // namespace
}  // namespace halvorn
