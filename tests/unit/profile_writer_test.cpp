#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <tuple>
#include <utility>

#include "fakes/fake_profile_writer.h"
#include "fakes/scratch_folder.h"
#include "profile/faithful_profile_writer.h"
#include "profile/profile_writer_posix.h"
#include "text/code_page.h"
#include "text/utf8.h"

namespace halvorn {
namespace {

using halvorn::testing::FakeProfileWriter;
using halvorn::testing::ScratchFolder;

// The report's bytes and concurrent writers: tests/e2e, tests/wine.
TEST(PosixProfileWriterTest, MissingFolderFailsWithoutCreatingIt) {
  ScratchFolder folder;
  const std::string path = folder.Path("absent/report.ini");
  PosixProfileWriter writer;
  EXPECT_FALSE(writer.WriteString(u"COM3", u"AT", u"OK", std::u16string(path.begin(), path.end()).c_str()));
  EXPECT_EQ(writer.LastError(), static_cast<uint32_t>(ENOENT));
  EXPECT_TRUE(folder.Names().empty());
}

TEST(FaithfulProfileWriterTest, RefusesWhatCannotBeReadBackWith87) {
  for (const auto& [section, key, stored] : {std::tuple{u"[COM3", u" A[T]?;", true}, {u"COM3", u" \t", false},
                                             {u"COM3", u";AT", false}, {u"COM3", u"S0=1", false},
                                             {u"CO]M3", u"AT", false}, {u"CO\nM3", u"AT", false},
                                             {u"CO\tM3", u"AT", false}, {u"COM3 ", u"AT", false}}) {
    FakeProfileWriter fake;
    FaithfulProfileWriter writer(fake);
    EXPECT_EQ(writer.WriteString(section, key, u"v", u"r.ini"), stored) << EncodeUtf8(section) << EncodeUtf8(key);
    EXPECT_EQ(std::pair(fake.calls.size(), writer.LastError()),
              std::pair(stored ? size_t{1} : 0, stored ? 0u : kErrorInvalidParameter));
  }
}

}  // namespace
}  // namespace halvorn
