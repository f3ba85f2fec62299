#include <gtest/gtest.h>

#include "text/code_page.h"
#include "text/narrow_copy.h"
#include "text/wide_string.h"

namespace halvorn {
namespace {

struct ReplaceCase {
  const char16_t* text;
  const char16_t* oldText;
  const char16_t* newText;
  const char16_t* expected;
  int32_t count;
};

class ReplaceTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceTest, LeftmostNonOverlapping) {
  const ReplaceCase& c = GetParam();
  WideString s(c.text);
  EXPECT_EQ(s.Replace(c.oldText, c.newText), c.count);
  EXPECT_EQ(s, WideString(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceTest,
    ::testing::Values(ReplaceCase{u"AAT", u"AT", u" ", u"A ", 1},
                      ReplaceCase{u"ATAT", u"AT", u" ", u"  ", 2},
                      ReplaceCase{u"at", u"AT", u" ", u"at", 0},
                      ReplaceCase{u"aaa", u"aa", u"b", u"ba", 1},
                      ReplaceCase{u"S0=1", u"=", u"__", u"S0__1", 1},
                      ReplaceCase{u"a\rb\nc\r\n", u"\r\n", u" ", u"a\rb\nc ", 1},
                      ReplaceCase{u"x==", u"=", u"==", u"x====", 2},   // inserted text not rescanned
                      ReplaceCase{u"abc", u"", u"x", u"abc", 0},
                      ReplaceCase{u"abc", nullptr, u"x", u"abc", 0},
                      ReplaceCase{u"abcb", u"b", nullptr, u"ac", 2}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(WideStringTrim, OnlyMembersAtTheEnds) {
  WideString spaces(u"    ");
  EXPECT_TRUE(spaces.TrimRight(u" ").TrimLeft(u" ").IsEmpty());

  WideString tabbed(u" OK\t ");
  EXPECT_EQ(tabbed.TrimRight(u" ").TrimLeft(u" "), WideString(u"OK\t"));

  WideString crlf(u"\r\nOK\r\n");
  EXPECT_EQ(crlf.TrimRight(u" ").TrimLeft(u" "), WideString(u"\r\nOK\r\n"));

  WideString questions(u"?x?");
  EXPECT_EQ(questions.TrimRight(u"?").TrimLeft(u"?"), WideString(u"x"));
  WideString inner(u"x?y");
  EXPECT_EQ(inner.TrimRight(u"?").TrimLeft(u"?"), WideString(u"x?y"));

  WideString untouched(u" a ");
  EXPECT_EQ(untouched.TrimRight(u"").TrimLeft(nullptr), WideString(u" a "));
}

TEST(WideStringMakeUpper, AsciiLettersOnly) {
  WideString s(u"ok \u00e9z{`");
  EXPECT_EQ(s.MakeUpper(), WideString(u"OK \u00e9Z{`"));
}

struct TokenizeStep {
  const char16_t* delimiters;
  const char16_t* token;
  int32_t position;
};

void ExpectTokens(const char16_t* text, std::initializer_list<TokenizeStep> steps) {
  const WideString list(text);
  int32_t position = 0;
  for (const TokenizeStep& step : steps) {
    EXPECT_EQ(list.Tokenize(step.delimiters, position), WideString(step.token)) << "in " << steps.size();
    EXPECT_EQ(position, step.position);
  }
}

TEST(WideStringTokenize, SkipsDelimiterRunsAndEndsWithMinusOne) {
  ExpectTokens(u"AT||ATI|", {{u"|", u"AT", 3}, {u"|", u"ATI", 8}, {u"|", u"", -1}});
  ExpectTokens(u"AT;E0|ATI;ATI1",
               {{u"|", u"AT;E0", 6}, {u";|", u"ATI", 10}, {u";|", u"ATI1", 15}, {u";|", u"", -1}});
  ExpectTokens(u"", {{u"|", u"", -1}});
  ExpectTokens(u"|||", {{u"|", u"", -1}});
  ExpectTokens(u"AT | ATI0", {{u"|", u"AT ", 4}, {u";|", u" ATI0", 10}, {u";|", u"", -1}});
}

TEST(WideStringTokenize, NegativePositionIsRefused) {
  int32_t position = -1;
  EXPECT_THROW(WideString(u"a").Tokenize(u"|", position), std::invalid_argument);
}

TEST(WideStringEquals, ExactWholeCaseSensitive) {
  EXPECT_TRUE(WideString(u"OK").Equals("OK"));
  for (const char16_t* other : {u"ok", u"OK ", u"OKAY", u"O", u""})
    EXPECT_FALSE(WideString(other).Equals("OK")) << "for a text of length " << WideString(other).GetLength();
  EXPECT_FALSE(WideString(u"Query").Equals("query"));
  EXPECT_TRUE(WideString().Equals(""));
}

TEST(WideStringAssignNarrow, EmptyMissingAndInvalidBytes) {
  WideString s(u"x");
  EXPECT_TRUE(s.AssignNarrow("").IsEmpty());
  s = WideString(u"x");
  EXPECT_TRUE(s.AssignNarrow(nullptr).IsEmpty());
  EXPECT_EQ(s.AssignNarrow("OK"), WideString(u"OK"));
  // Invalid UTF-8 never fails: each bad byte widens to U+FFFD.
  EXPECT_EQ(s.AssignNarrow("O\xff" "K\xc3"), WideString(u"O\ufffdK\ufffd"));
  EXPECT_EQ(s.AssignNarrow("\xed\xa0\x80"), WideString(u"\ufffd\ufffd\ufffd"));  // encoded surrogate
  EXPECT_EQ(s.AssignNarrow("\xc0\xaf"), WideString(u"\ufffd\ufffd"));           // overlong
  EXPECT_EQ(s.AssignNarrow("caf\xc3\xa9 \xf0\x9f\x93\x9e"), WideString(u"caf\u00e9 \U0001F4DE"));
}

TEST(NarrowCopyTest, MissingEmptyInlineAndHeap) {
  NarrowCopy missing(nullptr, 3);
  EXPECT_EQ(missing.Get(), nullptr);

  NarrowCopy empty(u"", 3);
  ASSERT_NE(empty.Get(), nullptr);
  EXPECT_STREQ(empty.Get(), "");
  EXPECT_FALSE(empty.UsesHeap());

  const std::u16string thirtyOne(31, u'A');
  NarrowCopy inlineCopy(thirtyOne.c_str(), 3);
  EXPECT_FALSE(inlineCopy.UsesHeap());
  EXPECT_EQ(std::string(inlineCopy.Get()), std::string(31, 'A'));

  const std::u16string thirtyTwo(32, u'A');
  NarrowCopy heapCopy(thirtyTwo.c_str(), 3);
  EXPECT_TRUE(heapCopy.UsesHeap());
  EXPECT_EQ(std::string(heapCopy.Get()), std::string(32, 'A'));
}

TEST(NarrowCopyTest, NonAsciiAndLoneSurrogates) {
  NarrowCopy accented(u"AT\u00e9", 3);
  EXPECT_STREQ(accented.Get(), "AT\xc3\xa9");
  const char16_t lone[] = {u'A', 0xD800, u'B', 0};
  NarrowCopy substituted(lone, 3);
  EXPECT_STREQ(substituted.Get(), "A\xef\xbf\xbd" "B");
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
