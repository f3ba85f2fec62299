#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "fakes/fake_profile_writer.h"
#include "fakes/scratch_folder.h"
#include "profile/faithful_profile_writer.h"
#include "profile/ini_text.h"
#include "profile/profile_writer_posix.h"
#include "text/code_page.h"

namespace halvorn {
namespace {

using halvorn::testing::FakeProfileWriter;
using halvorn::testing::ScratchFolder;

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

class PosixProfileWriterTest : public ::testing::Test {
 protected:
  bool Write(const char16_t* section, const char16_t* key, const char16_t* value,
             const std::string& name = "report.ini") {
    return m_writer.WriteString(section, key, value, Wide(m_folder.Path(name)).c_str());
  }
  std::string Report() const { return ScratchFolder::Read(m_folder.Path("report.ini")); }

  ScratchFolder m_folder;
  PosixProfileWriter m_writer;
};

TEST_F(PosixProfileWriterTest, NewFileHoldsTheBytesWindowsWrites) {
  ASSERT_TRUE(Write(u"COM3", u"AT", u"OK"));
  EXPECT_EQ(Report(), "[COM3]\r\nAT=OK\r\n");
  ASSERT_TRUE(Write(u"COM3", u"ATI3", u"V1.0 \u00e9"));
  ASSERT_TRUE(Write(u"COM3", u"AT", u"ERROR"));
  EXPECT_EQ(Report(), "[COM3]\r\nAT=ERROR\r\nATI3=V1.0 \xC3\xA9\r\n");
}

TEST_F(PosixProfileWriterTest, SameValueLeavesTheFileItself) {
  ASSERT_TRUE(Write(u"COM3", u"AT", u"OK"));
  struct stat before, after;
  ASSERT_EQ(::stat(m_folder.Path("report.ini").c_str(), &before), 0);
  ASSERT_TRUE(Write(u"com3", u"at", u"OK"));
  ASSERT_EQ(::stat(m_folder.Path("report.ini").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not replaced by a rename
}

TEST_F(PosixProfileWriterTest, MissingFolderFailsWithoutCreatingIt) {
  EXPECT_FALSE(Write(u"COM3", u"AT", u"OK", "absent/report.ini"));
  EXPECT_EQ(m_writer.LastError(), static_cast<uint32_t>(ENOENT));
  EXPECT_TRUE(m_folder.Names().empty());
}

TEST_F(PosixProfileWriterTest, BareNameGoesToTheCurrentFolder) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(m_folder.Path().c_str()) != 0) ::_exit(2);
    PosixProfileWriter writer;
    ::_exit(writer.WriteString(u"COM3", u"AT", u"OK", u"bare.ini") ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ScratchFolder::Read(m_folder.Path("bare.ini")), "[COM3]\r\nAT=OK\r\n");
}

// The whole stack as the tool runs it: two processes writing into one report
// through the faithful writer lose no key.
TEST_F(PosixProfileWriterTest, TwoProcessesLoseNoKey) {
  constexpr int kKeys = 200;
  const std::u16string file = Wide(m_folder.Path("report.ini"));
  auto writeKeys = [&](char16_t prefix) {
    PosixProfileWriter posix;
    FaithfulProfileWriter writer(posix);
    for (int i = 0; i < kKeys; ++i) {
      std::u16string key = prefix + Wide(std::to_string(i));
      if (!writer.WriteString(u"COM3", key.c_str(), key.c_str(), file.c_str())) return 1;
    }
    return 0;
  };
  pid_t other = ::fork();
  if (other == 0) ::_exit(writeKeys(u'B'));
  EXPECT_EQ(writeKeys(u'A'), 0);
  int status = 0;
  ::waitpid(other, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const std::string text = Report();
  for (char prefix : {'A', 'B'})
    for (int i = 0; i < kKeys; ++i) {
      const std::string key = prefix + std::to_string(i);
      EXPECT_EQ(ini::GetValue(text, "COM3", key), key);
    }
  EXPECT_EQ(ini::SectionNames(text).size(), 1u);
}

struct RuleCase {
  const char16_t* section;
  const char16_t* key;
  bool stored;
};

class FaithfulRuleTest : public ::testing::TestWithParam<RuleCase> {};

TEST_P(FaithfulRuleTest, RefusesWhatCannotBeReadBack) {
  const RuleCase& c = GetParam();
  FakeProfileWriter fake;
  FaithfulProfileWriter writer(fake);
  EXPECT_EQ(writer.WriteString(c.section, c.key, u"v", u"r.ini"), c.stored);
  EXPECT_EQ(fake.calls.size(), c.stored ? 1u : 0u);
  if (!c.stored) {
    EXPECT_EQ(writer.LastError(), kErrorInvalidParameter);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, FaithfulRuleTest,
    ::testing::Values(RuleCase{u"COM3", u"AT_CGMI", true}, RuleCase{u"COM3", u"ATI0;", true},
                      RuleCase{u"COM3", u"AT ", true}, RuleCase{u"COM3", u"A[T]?", true},
                      RuleCase{u"[COM3", u"AT", true}, RuleCase{u"", u"AT", true},
                      RuleCase{u"COM3", u"", false}, RuleCase{u"COM3", u" \t", false},
                      RuleCase{u"COM3", u";AT", false}, RuleCase{u"COM3", u" [AT", false},
                      RuleCase{u"COM3", u"S0=1", false}, RuleCase{u"CO]M3", u"AT", false},
                      RuleCase{u"COM3", u"AT\rI", false}, RuleCase{u"COM3", u"AT\n", false},
                      RuleCase{u"CO\nM3", u"AT", false}, RuleCase{u"COM3\r", u"AT", false}));

TEST(FaithfulProfileWriterTest, LineEndsInAValueBecomeSpaces) {
  FakeProfileWriter fake;
  FaithfulProfileWriter writer(fake);
  ASSERT_TRUE(writer.WriteString(u"COM3", u"ATI0", u"ATI0\rV1\r\n\nOK", u"r.ini"));
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].value, u"ATI0 V1   OK");
}

TEST(FaithfulProfileWriterTest, PassesTheInnerFailureThrough) {
  FakeProfileWriter fake;
  fake.failOnKey = u"ATI1";
  fake.failureCode = 3;
  FaithfulProfileWriter writer(fake);
  EXPECT_FALSE(writer.WriteString(u"COM3", u"ATI1", u"x", u"r.ini"));
  EXPECT_EQ(writer.LastError(), 3u);
  EXPECT_FALSE(writer.WriteString(u"COM3", u"=", u"x", u"r.ini"));
  EXPECT_EQ(writer.LastError(), kErrorInvalidParameter);
  EXPECT_TRUE(writer.WriteString(u"COM3", u"ATI2", u"x", u"r.ini"));
  EXPECT_EQ(writer.LastError(), 0u);
}

TEST(FakeProfileWriterTest, RecordsCallsAndFailsOnTheNthCall) {
  FakeProfileWriter fake;
  fake.failOnCall = 2;
  EXPECT_TRUE(fake.WriteString(u"COM3", u"AT", u"OK", u"r.ini"));
  EXPECT_FALSE(fake.WriteString(u"COM3", u"ATI0", u"x", u"r.ini"));
  EXPECT_TRUE(fake.WriteString(u"COM3", u"AT", u"ERROR", u"r.ini"));
  ASSERT_EQ(fake.calls.size(), 3u);
  EXPECT_FALSE(fake.calls[1].succeeded);
  EXPECT_EQ(fake.files[u"r.ini"], "[COM3]\r\nAT=ERROR\r\n");
  EXPECT_EQ(fake.ValueOf(u"r.ini", u"COM3", u"ATI0"), std::nullopt);
}

}  // namespace
}  // namespace halvorn
