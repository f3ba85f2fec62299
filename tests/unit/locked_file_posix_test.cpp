#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "fakes/scratch_folder.h"
#include "profile/locked_file_posix.h"

namespace halvorn {
namespace {

using halvorn::testing::ScratchFolder;

std::string Slurp(const std::string& path) { return ScratchFolder::Read(path); }
void Put(const std::string& path, const std::string& text) { ScratchFolder::Write(path, text); }

int SetTo(const std::string& path, const std::string& text) {
  return UpdateFileLocked(path, [&](std::string& current) {
    current = text;
    return true;
  });
}

// Runs body in a child process (for limits that must not touch the test
// runner) and returns its exit status.
template <typename Body>
int InChild(Body body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

TEST(LockedFileTest, CreatesReadsAndLeavesOnlyTheLockBeside) {
  ScratchFolder folder;
  const std::string path = folder.Path("report.ini");
  ASSERT_EQ(SetTo(path, "[A]\r\nk=v\r\n"), 0);
  std::string text;
  ASSERT_EQ(ReadFileLocked(path, text), 0);
  EXPECT_EQ(text, "[A]\r\nk=v\r\n");
  auto names = folder.Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"report.ini", "report.ini.lock"}));
}

TEST(LockedFileTest, EditThatDeclinesWritesNothing) {
  ScratchFolder folder;
  const std::string path = folder.Path("r.ini");
  bool sawEmpty = false;
  ASSERT_EQ(UpdateFileLocked(path, [&](std::string& text) {
              sawEmpty = text.empty();
              return false;
            }),
            0);
  EXPECT_TRUE(sawEmpty);
  struct stat info;
  EXPECT_NE(::stat(path.c_str(), &info), 0);
  std::string text;
  EXPECT_EQ(ReadFileLocked(path, text), ENOENT);
}

TEST(LockedFileTest, MissingFolderFailsAndIsNotCreated) {
  ScratchFolder folder;
  const std::string path = folder.Path("absent/r.ini");
  EXPECT_EQ(SetTo(path, "x"), ENOENT);
  EXPECT_TRUE(folder.Names().empty());
}

TEST(LockedFileTest, KeepsTheModeOfAnExistingFile) {
  ScratchFolder folder;
  const std::string path = folder.Path("r.ini");
  Put(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(SetTo(path, "new"), 0);
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Slurp(path), "new");
}

TEST(LockedFileTest, WritesThroughASymbolicLink) {
  ScratchFolder folder;
  const std::string target = folder.Path("target.ini");
  const std::string link = folder.Path("link.ini");
  Put(target, "old");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(SetTo(link, "new"), 0);
  struct stat info;
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(Slurp(target), "new");
}

TEST(LockedFileTest, AFolderInPlaceOfTheFileFails) {
  ScratchFolder folder;
  const std::string path = folder.Path("sub");
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  EXPECT_EQ(SetTo(path, "x"), EISDIR);
  ::rmdir(path.c_str());
}

// A real write failure, also when the tests run as root: a file-size limit
// makes the write of the temporary file fail after its first bytes.
TEST(LockedFileTest, FailedWriteLeavesOldFileIntact) {
  ScratchFolder folder;
  const std::string path = folder.Path("r.ini");
  const std::string old = "[A]\r\nk=old\r\n";
  Put(path, old);
  const std::string big(4096, 'x');

  const int status = InChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16, 16};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 100;
    return SetTo(path, big) == EFBIG ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Slurp(path), old);

  auto names = folder.Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"r.ini", "r.ini.lock"}));
}

}  // namespace
}  // namespace halvorn
