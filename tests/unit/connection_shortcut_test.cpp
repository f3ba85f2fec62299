// The connection shortcut against a counting fake shell: which item is taken,
// what is printed, and that everything taken is given back on every path.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include "dialup/connection_item.h"
#include "dialup/connection_shortcut.h"
#include "fakes/fake_console.h"
#include "fakes/fake_shell.h"

namespace halvorn {
namespace {

using testing::FakeShell;

const std::string kError = "Shortcut creation error!\n\n";

// Runs the shortcut for entry and checks that everything taken was given back.
std::string MakeShortcut(FakeShell& shell, const std::u16string& entry) {
  testing::FakeConsole console;
  CreateConnectionShortcut(shell, console, u"x.lnk", entry.c_str());
  EXPECT_EQ(std::tuple(shell.liveObjects, shell.badReleases, shell.liveBlocks.size(), shell.badFrees),
            std::tuple(0, 0, 0u, 0))
      << "objects alive, released twice; lists not freed, freed wrongly";
  EXPECT_EQ(std::pair(shell.comInitializations, shell.comDepth), std::pair(1, 0));
  return console.transcript;
}

// The folder's list without its terminator, then the item's list.
std::string TargetFor(const std::u16string& name) {
  const std::string folder = FakeShell::FolderListBytes();
  return folder.substr(0, folder.size() - 2) + *ConnectionItemList(name);
}

TEST(CreateConnectionShortcutTest, SavesALinkToTheNamedItemOnTheDesktop) {
  FakeShell shell;
  shell.itemNames = {u"Home", u"Office", u"Lab"};
  EXPECT_EQ(MakeShortcut(shell, u"Office"), "\n");
  ASSERT_EQ(shell.saved.size(), 1u);
  const auto& link = shell.saved[0];
  EXPECT_EQ(link.fileName, u"x.lnk");
  EXPECT_EQ(link.target, TargetFor(u"Office"));
  EXPECT_EQ(link.directory, shell.desktopPath);
}

// Twin names both ways round are checked through the real binary (tests/e2e/shortcut.sh).
TEST(CreateConnectionShortcutTest, TakesOnlyTheWholeNameWithItsCase) {
  struct Case {
    std::vector<std::u16string> items;
    std::u16string entry;
    bool saved;
    std::set<size_t> unreadable = {};
  } cases[] = {
      {{u"Officer", u"Office"}, u"Office", true},
      {{u"office", u"OFFICE"}, u"Office", false},
      {{u"Office", u"Office"}, u"Office", true, {0}},  // an unreadable name is passed over
      {{}, u"Office", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.entry) + " among " + std::to_string(c.items.size()));
    FakeShell shell;
    shell.itemNames = c.items;
    shell.unreadableItems = c.unreadable;
    EXPECT_EQ(MakeShortcut(shell, c.entry), c.saved ? "\n" : kError);
    ASSERT_EQ(shell.saved.size(), c.saved ? 1u : 0u);
    if (c.saved) EXPECT_EQ(shell.saved[0].target, TargetFor(c.entry));
    else EXPECT_EQ(shell.currentDirectory, u"/start");  // nowhere moved
  }
}

TEST(CreateConnectionShortcutTest, EveryFailureGivesEverythingBack) {
  // Failures inside the link object are silent but for the line feed.
  const std::pair<const char*, std::string> cases[] = {
      {"GetAllocator", kError},     {"GetConnectionsFolderLocation", kError},
      {"GetDesktopPath", kError},   {"GetDesktopFolder", kError},
      {"BindToFolder", kError},     {"EnumerateItems", kError},
      {"Alloc", kError},            {"ChangeCurrentDirectory", kError},
      {"CreateShellLink", "\n"},    {"SetIdList", "\n"},
      {"SetHotkey", "\n"},          {"SetShowCommand", "\n"},
      {"QueryPersistFile", "\n"},   {"Save", kError},
  };
  for (const auto& [fault, transcript] : cases) {
    SCOPED_TRACE(fault);
    FakeShell shell;
    shell.itemNames = {u"Home", u"Office", u"Lab"};
    shell.fault = fault;
    EXPECT_EQ(MakeShortcut(shell, u"Office"), transcript);
    EXPECT_TRUE(shell.saved.empty());
  }
}

}  // namespace
}  // namespace halvorn
