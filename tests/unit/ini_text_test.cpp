#include <gtest/gtest.h>

#include "profile/ini_text.h"

namespace halvorn::ini {
namespace {

struct SetCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;  // equal to before where SetValue must report no change
};

class IniSetValueTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(IniSetValueTest, ProducesExactBytes) {
  const SetCase& c = GetParam();
  std::string text = c.before;
  EXPECT_EQ(SetValue(text, c.section, c.key, c.value), c.after != c.before);
  EXPECT_EQ(text, c.after);
}

// Section "A", key "k", value "v" unless a case needs other names. A key
// rewritten in place is checked through the real binary
// (tests/e2e/query_worked_example.sh).
const SetCase kCases[] = {
    {"NewFileAsWindowsWritesIt", "", "COM3", "AT", "OK", "[COM3]\r\nAT=OK\r\n"},
    {"SameValueUntouched", "[A]\r\nk = v  \r\n", "A", "k", "v", "[A]\r\nk = v  \r\n"},
    {"LeadingBlanksOfValueDropped", "[A]\r\nk= v\r\n", "A", "k", " \tv", "[A]\r\nk= v\r\n"},
    {"CaseAndBlanksIgnoredSpellingKept", "[ com3 ]\r\n  at  =  old\r\n", " COM3", "AT ", "v",
     "[ com3 ]\r\n  at  =  v\r\n"},
    {"FirstSectionAndKeyWin", "[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n", "a", "K", "v",
     "[A]\r\nk=v\r\nk=2\r\n[a]\r\nk=3\r\n"},
    {"KeysOutsideTheSectionIgnored", "k=0\r\n[B]\r\nk=1\r\n[A]\r\n", "A", "k", "v",
     "k=0\r\n[B]\r\nk=1\r\n[A]\r\nk=v\r\n"},
    {"NewKeyAfterLastNonBlankLine", "[A]\r\nj=1\r\n; c\r\n\r\n \r\n[B]\r\n", "A", "k", "v",
     "[A]\r\nj=1\r\n; c\r\nk=v\r\n\r\n \r\n[B]\r\n"},
    {"NewSectionAtEndNoBlankLine", "[B]\r\nj=1\r\n", "A", "k", "v", "[B]\r\nj=1\r\n[A]\r\nk=v\r\n"},
    {"MissingFinalLineEndAdded", "[A]\r\nj=1", "A", "k", "v", "[A]\r\nj=1\r\nk=v\r\n"},
    {"LoneCrAtEndCompleted", "[A]\r\nj=1\r", "A", "k", "v", "[A]\r\nj=1\r\nk=v\r\n"},
    {"LfFileGetsLf", "[A]\nj=1\n", "A", "k", "v", "[A]\nj=1\nk=v\n"},
    {"ReplaceKeepsOwnLineEnd", "[A]\r\nk=1\nj=2\r\n", "A", "k", "v", "[A]\r\nk=v\nj=2\r\n"},
    {"Utf8BomKept", "\xEF\xBB\xBF[A]\r\nk=1\r\n", "a", "k", "v", "\xEF\xBB\xBF[A]\r\nk=v\r\n"},
    {"UntouchedLinesKept", "; r\r\n\r\n[B]\n o = s\t\r\n[A]\r\nj=1\r\n\t\r\n[Z]", "A", "k",
     "v", "; r\r\n\r\n[B]\n o = s\t\r\n[A]\r\nj=1\r\nk=v\r\n\t\r\n[Z]"},
    {"KeyWithoutEqualsGetsValue", "[A]\r\n k \r\n", "A", "K", "v", "[A]\r\n k=v\r\n"},
    {"KeyWithoutEqualsLosesTrailingBlanks", "[A]\nATI0\t\t\n", "A", "ATI0", "v\t", "[A]\nATI0=v\t\n"},
    {"OnlyAByteOrderMark", "\xEF\xBB\xBF", "A", "k", "v", "\xEF\xBB\xBF[A]\r\nk=v\r\n"},
    {"HeaderWithTrailingComment", "[A] ; c\r\nk=1\r\n", "A", "k", "v", "[A] ; c\r\nk=v\r\n"},
};

INSTANTIATE_TEST_SUITE_P(
    Layout, IniSetValueTest, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<SetCase>& info) { return std::string(info.param.name); });

TEST(IniTextTest, ReadsBackAsItMatches) {
  const std::string text = "k=0\r\n[A]\r\n x = 1 \r\n;y=2\r\n[ b ]\nz=\n[a]\r\nx=3\r\n";
  EXPECT_EQ(GetValue(text, "a", "X"), "1");
  EXPECT_EQ(GetValue(text, "B", "z"), "");
  EXPECT_EQ(GetValue(text, "A", "y"), std::nullopt);
}

// What QuoteValue stores reads back, through GetValue and UnquoteValue,
// exactly as given.
TEST(IniTextTest, QuotedValuesReadBackExactly) {
  for (const char* value : {"  spaced pw  ", "a=b;c#d", "\"q\"", "\"", "\" x", "back\\slash", ""}) {
    std::string text;
    SetValue(text, "A", "Password", QuoteValue(value));
    EXPECT_EQ(UnquoteValue(*GetValue(text, "A", "Password")), value) << text;
  }
  EXPECT_EQ(QuoteValue("s3cret"), "s3cret");  // what needs no quotes stays as it was stored
}

}  // namespace
}  // namespace halvorn::ini
