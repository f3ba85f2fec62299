// The command front end where the real binary cannot be brought: a runtime
// that fails to start. Banner, statuses and operands: tests/e2e (banner.sh,
// ras.sh, shortcut.sh).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dispatch.h"
#include "fakes/fake_console.h"

namespace halvorn {
namespace {

struct FailingRuntime final : Runtime {
  bool Initialize() override { return false; }
};

// Records the commands run; each answers 623.
struct RecordingCommands final : Commands {
  int32_t Query(const WideString&, const WideString&, const WideString&) override { return Run("query"); }
  int32_t Ras(const WideString&, const WideString&, const WideString&, const WideString&, const WideString&,
              const WideString&, bool) override {
    return Run("ras");
  }
  int32_t RasReset(const WideString&) override { return Run("rasreset"); }
  int32_t Run(const char* command) { return calls += command, 623; }
  std::string calls;
};

// A failed runtime ends usage and query with 1, but ras and rasreset still run.
TEST(Dispatch, AFailedRuntimeEndsQueryButNotRas) {
  const std::pair<std::vector<const char16_t*>, int32_t> cases[] = {
      {{u"query", u"COM1", u"AT", u"r.ini"}, 1}, {{u"query"}, 1}, {{u"rasreset", u"O"}, 623}};
  for (const auto& [words, status] : cases) {
    std::vector<WideString> arguments{WideString(u"halvorn.exe")};
    for (const char16_t* word : words) arguments.emplace_back(word);
    FailingRuntime runtime;
    testing::FakeConsole console;
    RecordingCommands commands;
    EXPECT_EQ(RunHalvorn(arguments, runtime, console, commands), status);
    EXPECT_EQ(console.transcript, "Fatal Error: MFC initialization failed\n");
    EXPECT_EQ(commands.calls, status == 1 ? "" : "rasreset");
  }
}

// -1 and 623 show as 255 and 111 through the real binary (tests/e2e).
TEST(ExitStatus, PosixShowsFailuresAsNonZero) {
  EXPECT_EQ(ToPosixExitStatus(0), 0);
  EXPECT_EQ(ToPosixExitStatus(-256), 1);
}

}  // namespace
}  // namespace halvorn
