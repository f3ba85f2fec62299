// The project's own shell on POSIX, on real files in a scratch folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "dialup/connection_shortcut.h"
#include "dialup/desktop_launcher_posix.h"
#include "dialup/phonebook_path.h"
#include "dialup/shell_posix.h"
#include "fakes/fake_console.h"
#include "fakes/fake_environment.h"
#include "fakes/scratch_folder.h"

namespace halvorn {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;

// The all-users profile and a desktop in a scratch folder; the working
// directory is put back afterwards, since the shortcut moves it.
class PosixShellTest : public ::testing::Test {
 protected:
  fs::path m_root = fs::temp_directory_path() / ("halvorn-shell-" + std::to_string(getpid()));
  fs::path m_desktop = m_root / "Desktop", m_startDir = fs::current_path();
  ScopedEnv m_allUsers{"ALLUSERSPROFILE", m_root.c_str()}, m_xdg{"XDG_DESKTOP_DIR", m_desktop.c_str()};
  ScopedEnv m_sudoUser{"SUDO_USER", nullptr};

  void SetUp() override { fs::create_directories(m_desktop); }
  void TearDown() override {
    fs::current_path(m_startDir);
    fs::remove_all(m_root);
  }
  void WritePhonebook(const std::string& text) {
    fs::create_directories(fs::path(PosixPhonebookPath()).parent_path());
    std::ofstream(PosixPhonebookPath(), std::ios::binary) << text;
  }
  std::string Run(const char16_t* linkFileName, const char16_t* entryName) {
    PosixShell shell;
    testing::FakeConsole console;
    CreateConnectionShortcut(shell, console, linkFileName, entryName);
    return console.transcript;
  }
};

// The desktop from XDG_DESKTOP_DIR, HOME and user-dirs.dirs, the launcher's
// validity and mode, twin entry names, someone else's file and a missing
// desktop are checked through the real binary (tests/e2e/shortcut.sh).
TEST_F(PosixShellTest, DesktopComesFromXdgThenHome) {
  const std::string tooLong(260, 'd');
  using Case = std::tuple<const char*, const char*, const char16_t*>;  // XDG, HOME, desktop
  for (const auto& [xdg, home, desktop] :
       {Case{"", "/home/a", u"/home/a/Desktop"}, Case{nullptr, "/home/\xc3\xa9", u"/home/\u00e9/Desktop"},
        Case{nullptr, nullptr, nullptr}, Case{tooLong.c_str(), nullptr, nullptr}}) {
    ScopedEnv xdgDir("XDG_DESKTOP_DIR", xdg), homeDir("HOME", home);
    char16_t path[kShellTextCapacity];
    ASSERT_EQ(PosixShell().GetDesktopPath(path), desktop != nullptr) << (xdg ? xdg : "-");
    if (desktop != nullptr) {
      EXPECT_EQ(std::u16string(path), desktop);
    }
  }
}

TEST_F(PosixShellTest, SavesALauncherWholeOrNothing) {
  const std::string error = "Shortcut creation error!\n\n";
  EXPECT_EQ(Run(u"Office.lnk", u"Office"), error);  // no phonebook yet
  // A launcher name of 250 bytes fits the folder, so its temporary must too.
  const std::u16string longName(242, u'N');
  WritePhonebook("[" + std::string(242, 'N') + "]\n[Office 2]\n[Caf\xc3\xa9]\n");
  EXPECT_EQ(Run((longName + u".lnk").c_str(), longName.c_str()), "\n");
  EXPECT_TRUE(fs::equivalent(fs::current_path(), m_desktop));
  // Its own launcher is replaced whole.
  EXPECT_EQ(Run(u"Office.lnk", u"Caf\u00e9"), "\n");
  EXPECT_EQ(Run(u"Office.lnk", u"Office 2"), "\n");
  EXPECT_EQ(testing::ScratchFolder::Read((m_desktop / "Office.desktop").string()),
            LauncherText("Office 2"));
  EXPECT_EQ(Run(u"missing/Office.lnk", u"Office 2"), error);  // the save fails
  EXPECT_EQ(std::distance(fs::directory_iterator(m_desktop), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace halvorn
