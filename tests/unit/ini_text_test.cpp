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
  std::string after;
  bool changed;
};

class SetValueTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(SetValueTest, ProducesExactBytes) {
  const SetCase& c = GetParam();
  std::string text = c.before;
  EXPECT_EQ(SetValue(text, c.section, c.key, c.value), c.changed);
  EXPECT_EQ(text, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, SetValueTest,
    ::testing::Values(
        SetCase{"NewFileAsWindowsWritesIt", "", "COM3", "AT", "OK", "[COM3]\r\nAT=OK\r\n", true},
        SetCase{"SecondKeyAfterFirst", "[COM3]\r\nAT=OK\r\n", "COM3", "ATI0", "56000",
                "[COM3]\r\nAT=OK\r\nATI0=56000\r\n", true},
        SetCase{"ReplaceInPlace", "[COM3]\r\nAT=ERROR\r\nATI0=x\r\n", "COM3", "AT", "OK",
                "[COM3]\r\nAT=OK\r\nATI0=x\r\n", true},
        SetCase{"SameValueUntouched", "[COM3]\r\nAT=OK\r\n", "COM3", "AT", "OK",
                "[COM3]\r\nAT=OK\r\n", false},
        SetCase{"SameValueWithBlanksUntouched", "[COM3]\r\nAT = OK  \r\n", "COM3", "AT", "OK",
                "[COM3]\r\nAT = OK  \r\n", false},
        SetCase{"CaseAndBlanksIgnoredSpellingKept", "[ com3 ]\r\n  at  =  ERROR\r\n", "COM3",
                "AT", "OK", "[ com3 ]\r\n  at  =  OK\r\n", true},
        SetCase{"CallerBlanksIgnored", "[COM3]\r\nAT=ERROR\r\n", " COM3", "AT ", "OK",
                "[COM3]\r\nAT=OK\r\n", true},
        SetCase{"FirstSectionAndKeyWin", "[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n", "a", "K", "9",
                "[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\n", true},
        SetCase{"NewKeyBeforeBlankLinesOfItsSection",
                "[A]\r\nx=1\r\n\r\n  \r\n[B]\r\ny=2\r\n", "A", "z", "3",
                "[A]\r\nx=1\r\nz=3\r\n\r\n  \r\n[B]\r\ny=2\r\n", true},
        SetCase{"NewKeyInEmptySection", "[A]\r\n\r\n[B]\r\n", "A", "z", "3",
                "[A]\r\nz=3\r\n\r\n[B]\r\n", true},
        SetCase{"NewKeyAfterCommentOfItsSection", "[A]\r\nx=1\r\n; note\r\n[B]\r\n", "A", "z",
                "3", "[A]\r\nx=1\r\n; note\r\nz=3\r\n[B]\r\n", true},
        SetCase{"NewSectionAtEndNoBlankLine", "[A]\r\nx=1\r\n", "B", "y", "2",
                "[A]\r\nx=1\r\n[B]\r\ny=2\r\n", true},
        SetCase{"NewSectionAfterTrailingBlankLines", "[A]\r\nx=1\r\n\r\n", "B", "y", "2",
                "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", true},
        SetCase{"MissingFinalLineEndAddedForSection", "[A]\r\nx=1", "B", "y", "2",
                "[A]\r\nx=1\r\n[B]\r\ny=2\r\n", true},
        SetCase{"MissingFinalLineEndAddedForKey", "[A]\r\nx=1", "A", "y", "2",
                "[A]\r\nx=1\r\ny=2\r\n", true},
        SetCase{"MissingFinalLineEndKeptOnReplace", "[A]\r\nx=1", "A", "x", "2", "[A]\r\nx=2",
                true},
        SetCase{"LfFileGetsLf", "[A]\nx=1\n", "A", "y", "2", "[A]\nx=1\ny=2\n", true},
        SetCase{"LfFileNewSection", "; c\n[A]\nx=1", "B", "y", "2", "; c\n[A]\nx=1\n[B]\ny=2\n",
                true},
        SetCase{"ReplaceKeepsOwnLineEnd", "[A]\r\nx=1\ny=2\r\n", "A", "x", "22",
                "[A]\r\nx=22\ny=2\r\n", true},
        SetCase{"LoneCrAtEndCompleted", "[A]\r\nx=1\r", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n",
                true},
        SetCase{"KeysBeforeAnySectionIgnored", "AT=1\r\n", "COM3", "AT", "OK",
                "AT=1\r\n[COM3]\r\nAT=OK\r\n", true},
        SetCase{"KeyOfOtherSectionIgnored", "[A]\r\nk=1\r\n[B]\r\n", "B", "k", "2",
                "[A]\r\nk=1\r\n[B]\r\nk=2\r\n", true},
        SetCase{"Utf8BomKept", "\xEF\xBB\xBF[A]\r\nk=1\r\n", "a", "k", "2",
                "\xEF\xBB\xBF[A]\r\nk=2\r\n", true},
        SetCase{"OnlyAsciiCaseFolded", "[\xC3\xA9]\r\n", "\xC3\x89", "k", "v",
                "[\xC3\xA9]\r\n[\xC3\x89]\r\nk=v\r\n", true},
        SetCase{"EmptyValue", "[A]\r\nk=1\r\n", "A", "k", "", "[A]\r\nk=\r\n", true},
        SetCase{"HeaderWithTrailingComment", "[A] ; ports\r\nk=1\r\n", "A", "k", "2",
                "[A] ; ports\r\nk=2\r\n", true}),
    [](const ::testing::TestParamInfo<SetCase>& info) { return std::string(info.param.name); });

TEST(IniTextTest, UntouchedLinesKeepTheirBytes) {
  const std::string before =
      "; report\r\n\r\n[Other]\n  odd  spacing = kept\t\r\n[COM3]\r\nAT=ERROR\r\n\t\r\n[Z]";
  std::string text = before;
  ASSERT_TRUE(SetValue(text, "com3", "at", "OK"));
  ASSERT_TRUE(SetValue(text, "COM3", "ATI3", "v"));
  EXPECT_EQ(text,
            "; report\r\n\r\n[Other]\n  odd  spacing = kept\t\r\n[COM3]\r\nAT=OK\r\nATI3=v\r\n\t\r\n"
            "[Z]");
}

TEST(IniTextTest, ReadsBack) {
  const std::string text = "k=0\r\n[A]\r\n x = 1 \r\n;y=2\r\n[ b ]\nz=\n[a]\r\nx=3\r\n";
  EXPECT_EQ(GetValue(text, "a", "X"), "1");
  EXPECT_EQ(GetValue(text, "B", "z"), "");
  EXPECT_EQ(GetValue(text, "A", "y"), std::nullopt);
  EXPECT_EQ(GetValue(text, "C", "x"), std::nullopt);
  EXPECT_TRUE(HasSection(text, "b"));
  EXPECT_FALSE(HasSection(text, "k"));
  EXPECT_EQ(SectionNames(text), (std::vector<std::string>{"A", "b", "a"}));
}

TEST(IniTextTest, RepeatedWritesKeepOneKeyWithLaterValue) {
  std::string text;
  for (const char* value : {"1", "2", "3"}) SetValue(text, "S", "k", value);
  SetValue(text, "T", "k", "x");
  EXPECT_EQ(text, "[S]\r\nk=3\r\n[T]\r\nk=x\r\n");
}

}  // namespace
}  // namespace halvorn::ini
