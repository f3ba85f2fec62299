// The desktop launcher where tests/e2e/shortcut.sh does not reach.
#include <gtest/gtest.h>

#include <string>

#include "dialup/shortcut/desktop_launcher_posix.h"

namespace halvorn {
namespace {

TEST(Launcher, NamesPonCannotTakeDialThroughPppd) {
  EXPECT_FALSE(PonTakes("-x"));
  const std::string blanks = LauncherText("My $1");
  EXPECT_NE(blanks.find("\nExec=/usr/sbin/pppd call \"My \\\\$1\"\nTryExec=/usr/sbin/pppd\n"), std::string::npos);
}

TEST(Launcher, UserDirsDesktopIsAQuotedAbsoluteOrHomePath) {
  EXPECT_EQ(UserDirsDesktop("  XDG_DESKTOP_DIR=\"/srv/d \\\"q\\\"\"", "/home/a"), "/srv/d \"q\"");
  for (const char* none : {"XDG_DESKTOP_DIR=\"rel\"", "XDG_DESKTOP_DIR=\"$HOMEX/d\"", "XDG_DESKTOP_DIR=\"$HOME/open"})
    EXPECT_EQ(UserDirsDesktop(none, "/home/a"), std::nullopt) << none;
}

}  // namespace
}  // namespace halvorn
