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

// Section "A", key "k", value "v" unless a case needs other names. A new
// report, a key rewritten in place and a section added to a UTF-16 phonebook
// are checked through the real binaries (tests/e2e, tests/wine).
const SetCase kCases[] = {
    {"SameValueUntouchedBlanksAside", "[A]\r\nk = v  \r\n", "A", "k", " \tv", "[A]\r\nk = v  \r\n"},
    {"CaseAndBlanksIgnoredSpellingKept", "[ com3 ]\r\n  at  =  old\r\n", " COM3", "AT ", "v",
     "[ com3 ]\r\n  at  =  v\r\n"},
    {"FirstSectionAndKeyWin", "[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n", "a", "K", "v",
     "[A]\r\nk=v\r\nk=2\r\n[a]\r\nk=3\r\n"},
    {"NewKeyAfterLastNonBlankLine", "[A]\r\nj=1\r\n; c\r\n\r\n \r\n[B]\r\n", "A", "k", "v",
     "[A]\r\nj=1\r\n; c\r\nk=v\r\n\r\n \r\n[B]\r\n"},
    {"MissingFinalLineEndAdded", "[A]\r\nj=1", "A", "k", "v", "[A]\r\nj=1\r\nk=v\r\n"},
    {"LfFileGetsLf", "[A]\nj=1\n", "A", "k", "v", "[A]\nj=1\nk=v\n"},
    {"NewTextGetsLf", "", "A", "k", "v", "[A]\nk=v\n"},
    {"LineWithoutEndGetsLf", "; c", "A", "k", "v", "; c\n[A]\nk=v\n"},
    {"Utf8BomKept", "\xEF\xBB\xBF[A]\r\nk=1\r\n", "a", "k", "v", "\xEF\xBB\xBF[A]\r\nk=v\r\n"},
    {"KeyWithoutEqualsLosesTrailingBlanks", "[A]\nATI0\t\t\n", "A", "ATI0", "v\t", "[A]\nATI0=v\t\n"},
    {"HeaderWithTrailingComment", "[A] ; c\r\nk=1\r\n", "A", "k", "v", "[A] ; c\r\nk=v\r\n"},
};

INSTANTIATE_TEST_SUITE_P(
    Layout, IniSetValueTest, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<SetCase>& info) { return std::string(info.param.name); });

// What QuoteValue stores reads back, through GetValue and UnquoteValue,
// exactly as given.
TEST(IniTextTest, QuotedValuesReadBackExactly) {
  for (const char* value : {"  spaced pw  ", "a=b;c#d", "\"q\"", "\"", "\" x", "back\\slash", ""}) {
    std::string text;
    SetValue(text, "A", "Password", QuoteValue(value));
    EXPECT_EQ(UnquoteValue(*GetValue(text, "A", "Password")), value) << text;
  }
}

// Undoing a run: the section or key goes and every other byte stays; the
// first match only, names matched as SetValue matches them.
TEST(IniTextTest, RemovesOnlyTheSectionOrKeyAsked) {
  std::string text = "[A]\r\nk=1\r\n[ b ]\r\nk=2\r\nj=3\r\n\r\n[C]\r\nk=4";
  EXPECT_TRUE(RemoveKey(text, "B", "K"));
  EXPECT_EQ(text, "[A]\r\nk=1\r\n[ b ]\r\nj=3\r\n\r\n[C]\r\nk=4");
  EXPECT_TRUE(RemoveSection(text, "b"));
  EXPECT_EQ(text, "[A]\r\nk=1\r\n[C]\r\nk=4");
  EXPECT_TRUE(RemoveSection(text, "C"));
  EXPECT_EQ(text, "[A]\r\nk=1\r\n");
  EXPECT_FALSE(RemoveSection(text, "C"));
  EXPECT_FALSE(RemoveKey(text, "A", "j"));
  EXPECT_EQ(text, "[A]\r\nk=1\r\n");
}

}  // namespace
}  // namespace halvorn::ini
