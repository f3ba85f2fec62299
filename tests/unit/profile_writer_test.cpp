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
#include "text/console.h"

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

TEST_F(PosixProfileWriterTest, WritesTheBytesWindowsWrites) {
  ASSERT_TRUE(Write(u"COM3", u"AT", u"OK"));
  EXPECT_EQ(Report(), "[COM3]\r\nAT=OK\r\n");
  struct stat before {}, after {};
  ::stat(m_folder.Path("report.ini").c_str(), &before);
  ASSERT_TRUE(Write(u"com3", u"at", u"OK"));
  ::stat(m_folder.Path("report.ini").c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino) << "the same value must leave the file itself alone";
  ASSERT_TRUE(Write(u"COM3", u"ATI3", u"V1.0 \u00e9"));
  EXPECT_EQ(Report(), "[COM3]\r\nAT=OK\r\nATI3=V1.0 \xC3\xA9\r\n");
}

TEST_F(PosixProfileWriterTest, MissingFolderFailsWithoutCreatingIt) {
  EXPECT_FALSE(Write(u"COM3", u"AT", u"OK", "absent/report.ini"));
  EXPECT_EQ(m_writer.LastError(), static_cast<uint32_t>(ENOENT));
  EXPECT_TRUE(m_folder.Names().empty());
}

// The whole stack as the tool runs it, in two processes at once; the other
// one names the report without its folder, from the folder itself.
TEST_F(PosixProfileWriterTest, TwoProcessesLoseNoKey) {
  constexpr int kKeys = 200;
  auto writeKeys = [&](char prefix, const std::u16string& file) {
    FaithfulProfileWriter writer(m_writer);
    for (int i = 0; i < kKeys; ++i) {
      const std::u16string key = Wide(prefix + std::to_string(i));
      if (!writer.WriteString(u"COM3", key.c_str(), key.c_str(), file.c_str())) return 1;
    }
    return 0;
  };
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(::chdir(m_folder.Path().c_str()) == 0 ? writeKeys('B', u"report.ini") : 2);
  EXPECT_EQ(writeKeys('A', Wide(m_folder.Path("report.ini"))), 0);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string text = Report();
  for (char prefix : {'A', 'B'})
    for (int i = 0; i < kKeys; ++i) {
      const std::string key = prefix + std::to_string(i);
      EXPECT_EQ(ini::GetValue(text, "COM3", key), key);
    }
}

TEST(FaithfulProfileWriterTest, RefusesWhatCannotBeReadBackWith87) {
  struct Case {
    const char16_t* section;
    const char16_t* key;
    bool stored;
  };
  for (const Case& c : {Case{u"COM3", u"AT_CGMI", true}, Case{u"[COM3", u" A[T]?;", true},
                        Case{u"", u"AT ", true}, Case{u"COM3", u"", false},
                        Case{u"COM3", u" \t", false}, Case{u"COM3", u";AT", false},
                        Case{u"COM3", u" [AT", false}, Case{u"COM3", u"S0=1", false},
                        Case{u"CO]M3", u"AT", false}, Case{u"COM3", u"AT\rI", false},
                        Case{u"CO\nM3", u"AT", false}}) {
    FakeProfileWriter fake;
    FaithfulProfileWriter writer(fake);
    EXPECT_EQ(writer.WriteString(c.section, c.key, u"v", u"r.ini"), c.stored)
        << EncodeUtf8(c.section) << "|" << EncodeUtf8(c.key);
    EXPECT_EQ(fake.calls.size(), c.stored ? 1u : 0u);
    EXPECT_EQ(writer.LastError(), c.stored ? 0u : kErrorInvalidParameter);
  }
}

TEST(FaithfulProfileWriterTest, StoresLineEndsAsSpacesAndPassesInnerFailuresOn) {
  FakeProfileWriter fake;
  fake.failOnKey = u"ATI1";
  FaithfulProfileWriter writer(fake);
  ASSERT_TRUE(writer.WriteString(u"COM3", u"ATI0", u"ATI0\rV1\r\n\nOK", u"r.ini"));
  EXPECT_EQ(fake.calls.at(0).value, u"ATI0 V1   OK");
  EXPECT_FALSE(writer.WriteString(u"COM3", u"ATI1", u"x", u"r.ini"));
  EXPECT_EQ(writer.LastError(), 5u);
  EXPECT_FALSE(writer.WriteString(u"COM3", u"=", u"x", u"r.ini"));
  EXPECT_EQ(writer.LastError(), kErrorInvalidParameter);
  EXPECT_TRUE(writer.WriteString(u"COM3", u"ATI2", u"x", u"r.ini"));
  EXPECT_EQ(writer.LastError(), 0u);
}

}  // namespace
}  // namespace halvorn
