#include <gtest/gtest.h>

#include "text/code_page.h"
#include "text/narrow_copy.h"
#include "text/wide_string.h"

namespace halvorn {
namespace {

// Replace, Trim, MakeUpper and Tokenize as the query uses them are checked
// through it (interrogation_test.cpp, command words in dispatch_test.cpp).
TEST(WideStringReplace, LeftmostNonOverlappingNeverRescanned) {
  struct Case { const char16_t *text, *oldText, *newText, *expected; int32_t count; };
  for (const Case& c : {Case{u"aaa", u"aa", u"b", u"ba", 1}, Case{u"x==", u"=", u"==", u"x====", 2},
                        Case{u"abc", u"", u"x", u"abc", 0}, Case{u"abc", nullptr, u"x", u"abc", 0},
                        Case{u"abcb", u"b", nullptr, u"ac", 2}}) {
    WideString s(c.text);
    EXPECT_EQ(s.Replace(c.oldText, c.newText), c.count);
    EXPECT_EQ(s, WideString(c.expected));
  }
}

// Invalid UTF-8 never fails: each bad byte widens to U+FFFD.
TEST(WideStringAssignNarrow, InvalidBytesBecomeReplacementCharacters) {
  WideString s(u"x");
  EXPECT_TRUE(s.AssignNarrow(nullptr).IsEmpty());
  EXPECT_EQ(s.AssignNarrow("O\xff" "K\xc3"), WideString(u"O\ufffdK\ufffd"));
  EXPECT_EQ(s.AssignNarrow("\xed\xa0\x80"), WideString(u"\ufffd\ufffd\ufffd"));  // encoded surrogate
  EXPECT_EQ(s.AssignNarrow("\xc0\xaf"), WideString(u"\ufffd\ufffd"));           // overlong
  EXPECT_EQ(s.AssignNarrow("caf\xc3\xa9 \xf0\x9f\x93\x9e"), WideString(u"caf\u00e9 \U0001F4DE"));
}

// Around the end of the inline area, in one- and four-byte characters; a lone
// surrogate becomes U+FFFD.
TEST(NarrowCopyTest, WholeTextOfAnyLength) {
  EXPECT_EQ(NarrowCopy(nullptr, 3).Get(), nullptr);
  for (size_t length : {0, 31, 32, 200}) {
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

namespace halvorn {
namespace {

// A code page whose characters take 6 bytes each, so the first 4-byte-per-unit
// attempt runs short and the size query and retry must follow.
class WideBytesCodePage final : public CodePage {
 public:
  int ToWide(uint32_t, const char*, int, char16_t*, int) override { return 0; }
  int ToNarrow(uint32_t, const char16_t*, int length, char* target, int capacity) override {
    ++calls;
    const int needed = length * 6;
    if (target == nullptr) return needed;
    if (capacity < needed) {
      m_dwLastError = failWith;
      return 0;
    }
    for (int i = 0; i < needed; ++i) target[i] = i + 6 < needed ? 'x' : '\0';
    return needed;
  }
  uint32_t LastError() override { return m_dwLastError; }

  int calls = 0;
  uint32_t failWith = kErrorInsufficientBuffer;

 private:
  uint32_t m_dwLastError = 0;
};

class NarrowCopyRetryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = &ActiveCodePage();
    InstallCodePage(&fake);
  }
  // The one installed before: the later tests run on it.
  void TearDown() override { InstallCodePage(previous); }
  WideBytesCodePage fake;
  CodePage* previous = nullptr;
};

TEST_F(NarrowCopyRetryTest, InsufficientBufferIsRetriedWithTheQueriedSize) {
  NarrowCopy small(u"AB", 3);  // 18 bytes: first attempt 12 fails, retry inline
  EXPECT_EQ(fake.calls, 3);
  EXPECT_FALSE(small.UsesHeap());
  EXPECT_EQ(std::string(small.Get()), std::string(12, 'x'));

  NarrowCopy large(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", 3);  // 162 bytes: retry moves to the heap
  EXPECT_TRUE(large.UsesHeap());
  EXPECT_EQ(std::string(large.Get()).size(), 156u);
}

TEST_F(NarrowCopyRetryTest, OtherFailuresRaiseTheErrorAsHResult) {
  fake.failWith = kErrorInvalidParameter;
  try {
    NarrowCopy copy(u"AB", 3);
    FAIL() << "no error raised";
  } catch (const TextConversionError& error) {
    EXPECT_EQ(error.HResult(), 0x80070057u);
  }
  EXPECT_EQ(fake.calls, 1);
}

}  // namespace
}  // namespace halvorn
