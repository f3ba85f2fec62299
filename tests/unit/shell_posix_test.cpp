// The project's own shell on POSIX, on real files in a scratch folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "dialup/connection_item.h"
#include "dialup/connection_shortcut.h"
#include "dialup/phonebook_path.h"
#include "dialup/shell_link_file.h"
#include "dialup/shell_posix.h"
#include "fakes/fake_console.h"

namespace halvorn {
namespace {

namespace fs = std::filesystem;

// Sets or clears one environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_old) setenv(m_name, m_old->c_str(), 1);
    else unsetenv(m_name);
  }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

// A scratch folder holding the all-users profile and a desktop; the working
// directory is put back afterwards, since the shortcut moves it.
class PosixShellTest : public ::testing::Test {
 protected:
  fs::path m_root = fs::temp_directory_path() / ("halvorn-shell-" + std::to_string(getpid()));
  fs::path m_desktop = m_root / "Desktop";
  fs::path m_startDir = fs::current_path();
  std::optional<ScopedEnv> m_allUsers, m_xdg;

  void SetUp() override {
    fs::remove_all(m_root);
    fs::create_directories(m_desktop);
    m_allUsers.emplace("ALLUSERSPROFILE", m_root.c_str());
    m_xdg.emplace("XDG_DESKTOP_DIR", m_desktop.c_str());
  }
  void TearDown() override {
    fs::current_path(m_startDir);
    fs::remove_all(m_root);
  }

  void WritePhonebook(const std::string& text) {
    const fs::path path = PosixPhonebookPath();
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  static std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  std::string Run(const char16_t* linkFileName, const char16_t* entryName) {
    PosixShell shell;
    testing::FakeConsole console;
    CreateConnectionShortcut(shell, console, linkFileName, entryName);
    return console.transcript;
  }
};

std::string ExpectedLink(const std::u16string& entryName) {
  std::string target = ConnectionsFolderList();
  target.resize(target.size() - 2);
  target += *ConnectionItemList(entryName);
  return *BuildShellLinkFile(reinterpret_cast<const ItemIdList*>(target.data()), 0, kShowNormal);
}

TEST_F(PosixShellTest, DesktopComesFromXdgThenHome) {
  const std::string tooLong(260, 'd');
  struct Case {
    const char* name;
    const char* xdg;
    const char* home;
    std::optional<std::u16string> desktop;
  } cases[] = {
      {"xdg wins", "/x/desk", "/home/a", u"/x/desk"},
      {"empty xdg", "", "/home/a", u"/home/a/Desktop"},
      {"no xdg", nullptr, "/home/\xc3\xa9", u"/home/\u00e9/Desktop"},
      {"neither", nullptr, nullptr, std::nullopt},
      {"too long", tooLong.c_str(), nullptr, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv xdg("XDG_DESKTOP_DIR", c.xdg), home("HOME", c.home);
    PosixShell shell;
    char16_t path[kShellTextCapacity];
    EXPECT_EQ(shell.GetDesktopPath(path), c.desktop.has_value());
    if (c.desktop) {
      EXPECT_EQ(std::u16string(path), *c.desktop);
    }
  }
}

TEST_F(PosixShellTest, ConnectionsFolderListsPhonebookEntriesInFileOrder) {
  WritePhonebook("[Zeta]\r\nPhoneNumber=1\r\n\r\n[Office 2]\r\nx=1\r\n[Caf\xc3\xa9]\r\n");
  PosixShell shell;
  ShellAllocator* allocator = shell.GetAllocator();
  ItemIdList* folderList = shell.GetConnectionsFolderLocation();
  ShellFolder* desktop = shell.GetDesktopFolder();
  ShellFolder* connections = desktop->BindToFolder(folderList);
  ASSERT_NE(connections, nullptr);
  EXPECT_EQ(desktop->BindToFolder(reinterpret_cast<const ItemIdList*>("\0\0")), nullptr);

  ItemEnumerator* items = connections->EnumerateItems();
  ASSERT_NE(items, nullptr);
  std::u16string names;
  ItemIdList* item = nullptr;
  char16_t name[kShellTextCapacity];
  while (items->Next(item)) {
    ASSERT_TRUE(connections->GetDisplayName(item, name));
    names += std::u16string(name) + u"|";
    allocator->Free(item);
  }
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(names, u"Zeta|Office 2|Caf\u00e9|");

  items->Release();
  connections->Release();
  desktop->Release();
  allocator->Free(folderList);
  allocator->Release();
}

TEST_F(PosixShellTest, SavesTheLinkOnTheDesktop) {
  WritePhonebook("[Office 2]\n[Office]\n[office]\n");
  EXPECT_EQ(Run(u"Office.lnk", u"Office"), "\n");
  EXPECT_EQ(ReadFile(m_desktop / "Office.lnk"), ExpectedLink(u"Office"));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), m_desktop));
  // A second run replaces the file whole and leaves no temporary behind.
  EXPECT_EQ(Run(u"Office.lnk", u"Office 2"), "\n");
  EXPECT_EQ(ReadFile(m_desktop / "Office.lnk"), ExpectedLink(u"Office 2"));
  EXPECT_EQ(std::distance(fs::directory_iterator(m_desktop), fs::directory_iterator()), 1);
}

TEST_F(PosixShellTest, WritesNothingWhenItCannotPointAtTheEntry) {
  const std::string error = "Shortcut creation error!\n\n";
  WritePhonebook("[Office 2]\n[office]\n");
  EXPECT_EQ(Run(u"Office.lnk", u"Office"), error);  // no such entry

  WritePhonebook("[Office]\n");
  fs::remove(m_desktop);
  EXPECT_EQ(Run(u"Office.lnk", u"Office"), error);  // no desktop folder
  EXPECT_TRUE(fs::equivalent(fs::current_path(), m_startDir));

  fs::create_directories(m_desktop);
  EXPECT_EQ(Run(u"missing/Office.lnk", u"Office"), error);  // the save fails
  EXPECT_TRUE(fs::is_empty(m_desktop));
}

TEST_F(PosixShellTest, NoPhonebookIsAnEmptyFolder) {
  EXPECT_EQ(Run(u"Office.lnk", u"Office"), "Shortcut creation error!\n\n");
  EXPECT_TRUE(fs::is_empty(m_desktop));
}

}  // namespace
}  // namespace halvorn
