// The connection shortcut against a counting fake shell: which item is taken,
// what is printed, and that everything taken is given back on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "dialup/connection_shortcut.h"
#include "fakes/fake_console.h"
#include "fakes/fake_shell.h"

namespace halvorn {
namespace {

using testing::FakeConsole;
using testing::FakeShell;
using testing::ShellFault;

constexpr char kError[] = "Shortcut creation error!\n";

// The combined target for an item: the folder's list without its terminator,
// then the item's list.
std::string TargetFor(const std::u16string& name) {
  const std::string folder = FakeShell::FolderListBytes();
  return folder.substr(0, folder.size() - 2) + FakeShell::ItemBytes(name);
}

void ExpectAllGivenBack(const FakeShell& shell) {
  EXPECT_EQ(shell.liveObjects, 0);
  EXPECT_EQ(shell.badReleases, 0);
  EXPECT_TRUE(shell.liveBlocks.empty()) << shell.liveBlocks.size() << " list(s) not freed";
  EXPECT_EQ(shell.badFrees, 0);
  EXPECT_EQ(shell.comInitializations, 1);
  EXPECT_EQ(shell.comDepth, 0);
  EXPECT_EQ(shell.calls.front(), "InitializeCom");
  EXPECT_EQ(shell.calls.back(), "UninitializeCom");
}

TEST(CreateConnectionShortcutTest, SavesALinkToTheNamedItemOnTheDesktop) {
  FakeShell shell;
  FakeConsole console;
  shell.itemNames = {u"Home", u"Office", u"Lab"};
  CreateConnectionShortcut(shell, console, u"Office.lnk", u"Office");

  EXPECT_EQ(console.transcript, "\n");
  ASSERT_EQ(shell.saved.size(), 1u);
  const auto& link = shell.saved[0];
  EXPECT_EQ(link.fileName, u"Office.lnk");
  EXPECT_EQ(link.target, TargetFor(u"Office"));
  EXPECT_EQ(link.hotkey, 0);
  EXPECT_EQ(link.showCommand, kShowNormal);
  EXPECT_TRUE(link.remember);
  EXPECT_EQ(link.directory, shell.desktopPath);
  EXPECT_EQ(shell.currentDirectory, shell.desktopPath);  // not restored
  // The enumeration stops at the match: "Lab" is never fetched.
  EXPECT_EQ(std::count(shell.calls.begin(), shell.calls.end(), "Next"), 2);
  ExpectAllGivenBack(shell);
}

TEST(CreateConnectionShortcutTest, TakesOnlyTheWholeNameWithItsCase) {
  struct Case {
    const char* name;
    std::vector<std::u16string> items;
    std::u16string entry;
    bool saved;
  } cases[] = {
      {"longer twin first", {u"Office 2", u"Officer", u"Office"}, u"Office", true},
      {"shorter twin first", {u"Office", u"Office 2"}, u"Office 2", true},
      {"only a longer twin", {u"Office 2"}, u"Office", false},
      {"only a prefix", {u"Off"}, u"Office", false},
      {"case differs", {u"office", u"OFFICE"}, u"Office", false},
      {"unreadable name skipped", {u"Office", u"Office"}, u"Office", true},
      {"empty folder", {}, u"Office", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeShell shell;
    FakeConsole console;
    shell.itemNames = c.items;
    // An item whose name cannot be read is passed over, not taken.
    if (std::string(c.name) == "unreadable name skipped") shell.unreadableItems = {0};
    CreateConnectionShortcut(shell, console, u"x.lnk", c.entry.c_str());
    if (c.saved) {
      ASSERT_EQ(shell.saved.size(), 1u);
      EXPECT_EQ(shell.saved[0].target, TargetFor(c.entry));
      EXPECT_EQ(console.transcript, "\n");
    } else {
      EXPECT_TRUE(shell.saved.empty());
      EXPECT_EQ(console.transcript, std::string(kError) + "\n");
      EXPECT_EQ(shell.currentDirectory, u"/start");  // nothing saved, nowhere moved
    }
    ExpectAllGivenBack(shell);
  }
}

TEST(CreateConnectionShortcutTest, EveryFailureGivesEverythingBack) {
  const std::string error = std::string(kError) + "\n";
  struct Case {
    ShellFault fault;
    const char* name;
    std::string transcript;
  } cases[] = {
      {ShellFault::kGetAllocator, "allocator", error},
      {ShellFault::kFolderLocation, "folder location", error},
      {ShellFault::kDesktopPath, "desktop path", error},
      {ShellFault::kDesktopFolder, "desktop folder", error},
      {ShellFault::kBindToFolder, "bind", error},
      {ShellFault::kEnumerateItems, "enumeration", error},
      {ShellFault::kAlloc, "combining the lists", error},
      {ShellFault::kChangeDirectory, "no desktop directory", error},
      // Failures inside the link object are silent but for the line feed.
      {ShellFault::kCreateShellLink, "link object", "\n"},
      {ShellFault::kSetIdList, "target", "\n"},
      {ShellFault::kSetHotkey, "hot key", "\n"},
      {ShellFault::kSetShowCommand, "show command", "\n"},
      {ShellFault::kQueryPersistFile, "persist file", "\n"},
      {ShellFault::kSave, "save", error},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeShell shell;
    FakeConsole console;
    shell.itemNames = {u"Home", u"Office", u"Lab"};
    shell.fault = c.fault;
    CreateConnectionShortcut(shell, console, u"Office.lnk", u"Office");
    EXPECT_EQ(console.transcript, c.transcript);
    EXPECT_TRUE(shell.saved.empty());
    ExpectAllGivenBack(shell);
  }
}

// Logs console output into the shell's call log, to see what comes when.
class LoggingConsole final : public Utf8Console {
 public:
  explicit LoggingConsole(FakeShell& shell) : m_shell(shell) {}

 protected:
  void WriteBytes(std::string_view bytes) override {
    m_shell.calls.push_back("print " + std::string(bytes));
  }

 private:
  FakeShell& m_shell;
};

TEST(CreateConnectionShortcutTest, GivesBackInOrderAfterTheLineFeed) {
  FakeShell shell;
  LoggingConsole console(shell);
  shell.itemNames = {u"Office"};
  CreateConnectionShortcut(shell, console, u"Office.lnk", u"Office");
  ASSERT_GE(shell.calls.size(), 9u);
  const std::vector<std::string> tail(shell.calls.end() - 9, shell.calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"Save", "Release persistfile", "Release link",
                                            "print \n", "Release enumerator",
                                            "Release allocator", "Release connections",
                                            "Release desktop", "UninitializeCom"}));
  EXPECT_EQ(std::find(shell.calls.begin(), shell.calls.end(), "ChangeCurrentDirectory") <
                std::find(shell.calls.begin(), shell.calls.end(), "Save"),
            true);
}

TEST(SaveShellLinkTest, SetsTargetHotkeyAndShowCommandInOrder) {
  FakeShell shell;
  FakeConsole console;
  const std::string target = FakeShell::FolderListBytes();
  EXPECT_TRUE(SaveShellLink(shell, console, u"a.lnk",
                            reinterpret_cast<const ItemIdList*>(target.data())));
  EXPECT_EQ(shell.calls, (std::vector<std::string>{"CreateShellLink", "SetIdList", "SetHotkey",
                                                   "SetShowCommand", "QueryPersistFile", "Save",
                                                   "Release persistfile", "Release link"}));
  EXPECT_EQ(console.transcript, "");
  ASSERT_EQ(shell.saved.size(), 1u);
  EXPECT_EQ(shell.saved[0].target, target);
}

TEST(SaveShellLinkTest, StopsAtTheFirstFailingSetting) {
  FakeShell shell;
  FakeConsole console;
  shell.fault = ShellFault::kSetIdList;
  const std::string target = FakeShell::FolderListBytes();
  EXPECT_FALSE(SaveShellLink(shell, console, u"a.lnk",
                             reinterpret_cast<const ItemIdList*>(target.data())));
  EXPECT_EQ(shell.calls,
            (std::vector<std::string>{"CreateShellLink", "SetIdList", "Release link"}));
  EXPECT_EQ(console.transcript, "");
  EXPECT_EQ(shell.liveObjects, 0);
}

}  // namespace
}  // namespace halvorn
