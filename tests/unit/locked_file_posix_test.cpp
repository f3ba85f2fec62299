#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "fakes/scratch_folder.h"
#include "profile/locked_file_posix.h"

namespace halvorn {
namespace {

using halvorn::testing::ScratchFolder;
using Names = std::vector<std::string>;

int SetTo(const std::string& path, const std::string& text) {
  return UpdateFileLocked(path, [&](std::string& current) {
    current = text;
    return true;
  });
}

TEST(LockedFileTest, ReplacesKeepingTheModeAndLeavesOnlyTheLockBeside) {
  ScratchFolder folder;
  const std::string path = folder.Path("r.ini");
  ScratchFolder::Write(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(SetTo(path, "new"), 0);
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  std::string text;
  ASSERT_EQ(ReadFileLocked(path, text), 0);
  EXPECT_EQ(text, "new");
  EXPECT_EQ(folder.Names(), (Names{"r.ini", "r.ini.lock"}));
}

TEST(LockedFileTest, WritesThroughASymbolicLink) {
  ScratchFolder folder;
  const std::string target = folder.Path("target.ini");
  ScratchFolder::Write(target, "old");
  ASSERT_EQ(::symlink(target.c_str(), folder.Path("link.ini").c_str()), 0);
  ASSERT_EQ(SetTo(folder.Path("link.ini"), "new"), 0);
  EXPECT_EQ(ScratchFolder::Read(target), "new");
}

// A real write failure, also when the tests run as root: a file-size limit
// (in a child, to spare the test runner) fails the temporary file's write.
TEST(LockedFileTest, FailedWriteLeavesOldFileIntact) {
  ScratchFolder folder;
  const std::string path = folder.Path("r.ini");
  ScratchFolder::Write(path, "[A]\r\nk=old\r\n");
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16, 16};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    ::_exit(SetTo(path, std::string(4096, 'x')) == EFBIG ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ScratchFolder::Read(path), "[A]\r\nk=old\r\n");
  EXPECT_EQ(folder.Names(), (Names{"r.ini", "r.ini.lock"}));  // no temporary file left
}

}  // namespace
}  // namespace halvorn
