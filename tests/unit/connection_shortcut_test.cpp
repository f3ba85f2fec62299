// The connection shortcut against a counting fake shell: which item is taken,
// what is printed, and that everything taken is given back on every path.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "dialup/shortcut/connection_item.h"
#include "dialup/shortcut/connection_shortcut.h"
#include "fakes/fake_console.h"
#include "fakes/fake_shell.h"

namespace halvorn {
namespace {

// Only the whole name with its case is taken; twin names both ways round are
// checked through the real binary (tests/e2e/shortcut.sh). Then one failure in
// each stretch of what is held, each reported once.
TEST(CreateConnectionShortcutTest, SavesTheNamedItemOrGivesEverythingBack) {
  const std::string error = "Shortcut creation error!\n\n", folder = testing::FakeShell::FolderListBytes();
  const std::string target = folder.substr(0, folder.size() - 2) + *ConnectionItemList(u"Office");
  const std::vector<std::u16string> items = {u"Officer", u"Office"};
  const std::tuple<const char*, std::vector<std::u16string>, std::string> cases[] = {
      {"", items, "\n"}, {"", {u"office", u"OFFICE"}, error}, {"GetConnectionsFolderLocation", items, error},
      {"BindToFolder", items, error}, {"Alloc", items, error}, {"ChangeCurrentDirectory", items, error},
      {"SetIdList", items, error}, {"QueryPersistFile", items, error}, {"Save", items, error}};
  for (const auto& [fault, names, transcript] : cases) {
    SCOPED_TRACE(fault);
    testing::FakeShell shell;
    testing::FakeConsole console;
    shell.itemNames = names, shell.fault = fault;
    CreateConnectionShortcut(shell, console, u"x.lnk", u"Office");
    EXPECT_EQ(console.transcript, transcript);
    EXPECT_EQ(std::tuple(shell.liveObjects, shell.badReleases, shell.liveBlocks.size(), shell.badFrees, shell.comDepth),
              std::tuple(0, 0, 0u, 0, 0))
        << "objects alive, released twice; lists not freed, freed wrongly; COM left open";
    const bool saved = *fault == '\0' && transcript == "\n";
    ASSERT_EQ(shell.saved.size(), saved ? 1u : 0u);
    if (saved) {
      EXPECT_EQ(std::tuple(shell.saved[0].fileName, shell.saved[0].target, shell.saved[0].directory),
                std::tuple(u"x.lnk", target, shell.desktopPath));
    } else if (*fault == '\0') {
      EXPECT_EQ(shell.currentDirectory, u"/start");  // no item matched: nowhere moved
    }
  }
}

}  // namespace
}  // namespace halvorn
