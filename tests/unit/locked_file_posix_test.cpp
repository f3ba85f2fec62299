#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "fakes/scratch_folder.h"
#include "profile/locked_file_posix.h"

namespace halvorn {
namespace {

using halvorn::testing::ScratchFolder;
using Names = std::vector<std::string>;

int SetTo(const std::string& path, const std::string& text) {
  return UpdateFileLocked(path, [&](std::string& current) { current = text; return true; });
}

// Modes and litter: tests/e2e/hostile_files.sh; here a killed run's
// temporary file, a name of 250 bytes and a link.
TEST(LockedFileTest, ReplacesThroughALinkAndLeavesNothingBeside) {
  ScratchFolder folder;
  ScratchFolder::Write(folder.Path("target.ini"), "old");
  ASSERT_EQ(::symlink(folder.Path("target.ini").c_str(), folder.Path("link.ini").c_str()), 0);
  ScratchFolder::Write(folder.Path(".~hvnk1lled"), std::string(1000, 'x'));
  // Made under a random name where a file cannot be made without one, and
  // killed before it got its tagged name: still empty, it goes.
  ScratchFolder::Write(folder.Path(".~hvrk1lled"), "");
  ScratchFolder::Write(folder.Path(".~hvrn0tmpf"), "x");
  const std::string longName = std::string(246, 'n') + ".ini";
  ASSERT_EQ(SetTo(folder.Path("link.ini"), "new"), 0);
  ASSERT_EQ(SetTo(folder.Path(longName), "x"), 0);
  std::string text;
  ASSERT_EQ(ReadFileLocked(folder.Path("target.ini"), text), 0);
  EXPECT_EQ(text, "new");
  // A file that only looks like a killed run's temporary file is kept: the
  // tool's own carry their inode's tag (the kill test reaches those) or are
  // empty.
  EXPECT_EQ(folder.Names(), (Names{".~hvnk1lled", ".~hvrn0tmpf", "link.ini", longName, "target.ini"}));
}

// A new file is placed whole and never over anything; an earlier one only
// when asked, and never over a link.
TEST(LockedFileTest, PlacesANewFileWholeAndReplacesOnlyWhenAsked) {
  ScratchFolder folder;
  const std::string path = folder.Path("Office");
  ASSERT_EQ(PlaceFileLocked(path, "one", 0640, kKeepGroup, false), 0);
  EXPECT_EQ(PlaceFileLocked(path, "two", 0640, kKeepGroup, false), EEXIST);
  EXPECT_EQ(ScratchFolder::Read(path), "one");
  ASSERT_EQ(PlaceFileLocked(path, "three", 0755, kKeepGroup, true), 0);
  EXPECT_EQ(ScratchFolder::Read(path), "three");
  ASSERT_EQ(::symlink(path.c_str(), folder.Path("link").c_str()), 0);
  EXPECT_EQ(PlaceFileLocked(folder.Path("link"), "x", 0644, kKeepGroup, true), EACCES);
  EXPECT_EQ(folder.Names(), (Names{"Office", "link"}));
}

// A folder others can write to, a planted link: tests/e2e/hostile_files.sh;
// here a file of someone else's, and one that others could read.
TEST(LockedFileTest, SecretsGoOnlyIntoAPrivateFileOfTheCallers) {
  ScratchFolder folder;
  auto secret = [&](const std::string& name) {
    return UpdateFileLocked(folder.Path(name), [](std::string& text) { text = "pw"; return true; },
                            0600, FileSecrecy::kSecret);
  };
  if (::geteuid() == 0) {
    ScratchFolder::Write(folder.Path("theirs"), "");
    ASSERT_EQ(::chown(folder.Path("theirs").c_str(), 65534, 65534), 0);
    EXPECT_EQ(secret("theirs"), EACCES);
    EXPECT_EQ(ScratchFolder::Read(folder.Path("theirs")), "");
  }
  ScratchFolder::Write(folder.Path("cred"), "old");
  ASSERT_EQ(::chmod(folder.Path("cred").c_str(), 0644), 0);
  EXPECT_EQ(secret("cred"), 0);
  struct stat info {};
  EXPECT_EQ(::stat(folder.Path("cred").c_str(), &info) == 0 ? info.st_mode & 07777 : 0u, 0600u);
}

}  // namespace
}  // namespace halvorn
