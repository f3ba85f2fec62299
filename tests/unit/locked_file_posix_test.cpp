#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
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

TEST(LockedFileTest, ReplacesKeepingTheModeAndLeavesNothingBeside) {
  ScratchFolder folder;
  const std::string path = folder.Path("r.ini");
  ScratchFolder::Write(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  // A temporary file of a killed run goes; a name of 250 bytes fits.
  ScratchFolder::Write(folder.Path(".~hvnk1lled"), std::string(1000, 'x'));
  const std::string longPath = folder.Path(std::string(246, 'n') + ".ini");
  const mode_t oldMask = ::umask(0);  // a careless umask gives no one else write access
  ASSERT_EQ(SetTo(path, "new"), 0);
  ASSERT_EQ(SetTo(longPath, "x"), 0);
  ::umask(oldMask);
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  ASSERT_EQ(::stat(longPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  std::string text;
  ASSERT_EQ(ReadFileLocked(path, text), 0);
  EXPECT_EQ(text, "new");
  EXPECT_EQ(folder.Names(), (Names{std::string(246, 'n') + ".ini", "r.ini"}));
}

// Secrets go only into a folder no one else can write to, into a file of the
// caller's own that is no link; it is made private as it is written.
TEST(LockedFileTest, SecretsOnlyWhereNoOneElseCanReach) {
  ScratchFolder folder;
  const std::string path = folder.Path("cred");
  auto secret = [&](const std::string& name) {
    return UpdateFileLocked(folder.Path(name), [](std::string& text) { text = "pw"; return true; },
                            0600, FileSecrecy::kSecret);
  };
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);
  EXPECT_EQ(secret("cred"), EACCES);
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0700), 0);
  EXPECT_TRUE(folder.Names().empty());
  ScratchFolder::Write(folder.Path("theirs"), "");
  ASSERT_EQ(::symlink(folder.Path("theirs").c_str(), folder.Path("link").c_str()), 0);
  EXPECT_EQ(secret("link"), EACCES);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(folder.Path("theirs").c_str(), 65534, 65534), 0);
    EXPECT_EQ(secret("theirs"), EACCES);
  }
  EXPECT_EQ(ScratchFolder::Read(folder.Path("theirs")), "");
  ScratchFolder::Write(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  EXPECT_EQ(secret("cred"), 0);
  struct stat info {};
  ::stat(path.c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// A lock that someone else holds (a shared one is enough) is waited for a
// bounded time, then the update fails and writes nothing.
TEST(LockedFileTest, HeldLockEndsTheWaitWithAFailure) {
  ScratchFolder folder;
  const int holder = ::open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(holder, LOCK_SH), 0);
  SetLockWaitLimit(100);
  EXPECT_EQ(SetTo(folder.Path("r.ini"), "x"), ETIMEDOUT);
  SetLockWaitLimit(10000);
  std::string text;
  EXPECT_EQ(ReadFileLocked(folder.Path("r.ini"), text), ENOENT);  // readers never wait
  ::close(holder);
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_EQ(SetTo(folder.Path("r.ini"), "x"), 0);
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
  EXPECT_EQ(folder.Names(), Names{"r.ini"});  // no temporary file left
}

}  // namespace
}  // namespace halvorn
