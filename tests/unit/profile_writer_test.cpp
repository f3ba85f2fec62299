#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "fakes/fake_profile_writer.h"
#include "fakes/scratch_folder.h"
#include "profile/faithful_profile_writer.h"
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

// The report's bytes and a second run are checked through the real binary
// (tests/e2e/query_worked_example.sh); so are concurrent writers (tests/e2e/ras.sh).
TEST_F(PosixProfileWriterTest, SameValueLeavesTheFileAlone) {
  ASSERT_TRUE(Write(u"COM3", u"AT", u"OK"));
  struct stat before {}, after {};
  ::stat(m_folder.Path("report.ini").c_str(), &before);
  ASSERT_TRUE(Write(u"com3", u"at", u"OK"));
  ::stat(m_folder.Path("report.ini").c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(Report(), "[COM3]\r\nAT=OK\r\n");
}

TEST_F(PosixProfileWriterTest, MissingFolderFailsWithoutCreatingIt) {
  EXPECT_FALSE(Write(u"COM3", u"AT", u"OK", "absent/report.ini"));
  EXPECT_EQ(m_writer.LastError(), static_cast<uint32_t>(ENOENT));
  EXPECT_TRUE(m_folder.Names().empty());
}

TEST(FaithfulProfileWriterTest, RefusesWhatCannotBeReadBackWith87) {
  struct Case {
    const char16_t* section;
    const char16_t* key;
    bool stored;
  };
  for (const Case& c : {Case{u"[COM3", u" A[T]?;", true}, Case{u"", u"AT ", true},
                        Case{u"COM3", u" \t", false}, Case{u"COM3", u";AT", false},
                        Case{u"COM3", u" [AT", false}, Case{u"COM3", u"S0=1", false},
                        Case{u"CO]M3", u"AT", false}, Case{u"CO\nM3", u"AT", false}}) {
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
  EXPECT_TRUE(writer.WriteString(u"COM3", u"ATI2", u"x", u"r.ini"));
  EXPECT_EQ(writer.LastError(), 0u);
}

}  // namespace
}  // namespace halvorn
