#include <gtest/gtest.h>

#include "text/code_page.h"
#include "text/narrow_copy.h"
#include "text/wide_string.h"

namespace halvorn {
namespace {

// The new text is never rescanned, so growing replacements end.
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

// Replies: a byte outside valid UTF-8 widens as code page 1252 (its five
// undefined bytes as the C1 control of the same value); valid UTF-8, a
// U+FFFD spelled out included, stays as it is.
TEST(WideStringAssignNarrow, ReplyBytesOutsideUtf8WidenAsCodePage1252) {
  Utf8CodePage replies(InvalidUtf8::kCodePage1252);
  WideString s;
  EXPECT_EQ(s.AssignNarrow("\xa9 1998\x80\x81\x8d\x8f\x90\x9d\x9f\xff\xc3", replies),
            WideString(u"\u00a9 1998\u20ac\u0081\u008d\u008f\u0090\u009d\u0178\u00ff\u00c3"));
  EXPECT_EQ(s.AssignNarrow("caf\xc3\xa9 \xef\xbf\xbd \xed\xa0\x80", replies),
            WideString(u"caf\u00e9 \ufffd \u00ed\u00a0\u20ac"));
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
