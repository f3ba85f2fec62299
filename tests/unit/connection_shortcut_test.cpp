// The connection shortcut against a counting fake shell: which item is taken,
// what is printed, and that everything taken is given back on every path.
#include <gtest/gtest.h>

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

// Runs the shortcut for Office and checks that everything taken was given back.
std::string MakeShortcut(FakeShell& shell) {
  testing::FakeConsole console;
  CreateConnectionShortcut(shell, console, u"x.lnk", u"Office");
  EXPECT_EQ(std::tuple(shell.liveObjects, shell.badReleases, shell.liveBlocks.size(), shell.badFrees, shell.comDepth),
            std::tuple(0, 0, 0u, 0, 0))
      << "objects alive, released twice; lists not freed, freed wrongly; COM left open";
  return console.transcript;
}

// Twin names both ways round are checked through the real binary (tests/e2e/shortcut.sh).
TEST(CreateConnectionShortcutTest, SavesALinkToTheWholeNameWithItsCaseOnTheDesktop) {
  const std::string folder = FakeShell::FolderListBytes();  // its terminator gives way to the item
  const std::string target = folder.substr(0, folder.size() - 2) + *ConnectionItemList(u"Office");
  for (const auto& [items, saved] : {std::pair{std::vector<std::u16string>{u"Officer", u"Office"}, true},
                                     {{u"office", u"OFFICE"}, false}}) {
    FakeShell shell;
    shell.itemNames = items;
    EXPECT_EQ(MakeShortcut(shell), saved ? "\n" : kError);
    ASSERT_EQ(shell.saved.size(), saved ? 1u : 0u);
    if (saved) EXPECT_EQ(std::tuple(shell.saved[0].fileName, shell.saved[0].target, shell.saved[0].directory),
                         std::tuple(u"x.lnk", target, shell.desktopPath));
    else EXPECT_EQ(shell.currentDirectory, u"/start");  // nowhere moved
  }
}

// One failure in each stretch of what is held; those inside the link object
// are silent but for the line feed.
TEST(CreateConnectionShortcutTest, EveryFailureGivesEverythingBack) {
  const std::pair<const char*, std::string> cases[] = {
      {"GetConnectionsFolderLocation", kError}, {"BindToFolder", kError}, {"Alloc", kError},
      {"ChangeCurrentDirectory", kError}, {"SetIdList", "\n"}, {"QueryPersistFile", "\n"}, {"Save", kError},
  };
  for (const auto& [fault, transcript] : cases) {
    SCOPED_TRACE(fault);
    FakeShell shell;
    shell.itemNames = {u"Home", u"Office"};
    shell.fault = fault;
    EXPECT_EQ(MakeShortcut(shell), transcript);
    EXPECT_TRUE(shell.saved.empty());
  }
}

}  // namespace
}  // namespace halvorn
