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
#include "text/utf8.h"

namespace halvorn {
namespace {

// Twin names offered first, each shell call made to fail and everything given
// back: through the Windows build and the shell double (tests/wine/shortcut.sh).
// Here what Wine's run does not reach: no item of the name (only the whole
// name with its case is taken), and a change of directory that fails.
TEST(CreateConnectionShortcutTest, SavesTheNamedItemOrGivesEverythingBack) {
  const std::string error = "Shortcut creation error!\n\n", folder = testing::FakeShell::FolderListBytes();
  const std::string target = folder.substr(0, folder.size() - 2) + *ConnectionItemList(u"Office");
  const std::vector<std::u16string> items = {u"Officer", u"Office"};
  const std::tuple<bool, std::vector<std::u16string>, std::string> cases[] = {
      {true, items, "\n"}, {true, {u"office", u"OFFICE"}, error}, {false, items, error}};
  for (const auto& [changesDirectory, names, transcript] : cases) {
    SCOPED_TRACE(changesDirectory ? EncodeUtf8(names[0]) : "no directory change");
    testing::FakeShell shell;
    testing::FakeConsole console;
    shell.itemNames = names, shell.changesDirectory = changesDirectory;
    CreateConnectionShortcut(shell, console, u"x.lnk", u"Office");
    EXPECT_EQ(console.transcript, transcript);
    EXPECT_EQ(std::tuple(shell.liveObjects, shell.badReleases, shell.liveBlocks.size(), shell.badFrees, shell.comDepth),
              std::tuple(0, 0, 0u, 0, 0))
        << "objects alive, released twice; lists not freed, freed wrongly; COM left open";
    const bool saved = transcript == "\n";
    ASSERT_EQ(shell.saved.size(), saved ? 1u : 0u);
    if (saved)
      EXPECT_EQ(std::tuple(shell.saved[0].fileName, shell.saved[0].target, shell.saved[0].directory),
                std::tuple(u"x.lnk", target, shell.desktopPath));
    else
      EXPECT_EQ(shell.currentDirectory, u"/start");  // nowhere moved
  }
}

}  // namespace
}  // namespace halvorn
