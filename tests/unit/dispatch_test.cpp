// The command front end. Banner bytes and the statuses of a missing or
// miscased command word are checked through the real binary (tests/e2e/banner.sh).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dispatch.h"
#include "fakes/fake_console.h"

namespace halvorn {
namespace {

constexpr char kBanner[] =
    "\nHalvorn utility version 0.201.50928\n\n\tUsage:\thalvorn.exe query COMx \"AT|ATI0|ATI1\" "
    "output.ini\n\n\t\thalvorn.exe ras connection modem phonenumber user password baudrate "
    "[shortcut]\n";

struct FakeRuntime final : Runtime {
  bool Initialize() override { return succeeds; }
  bool succeeds = true;
};

// Records each command with its operands; rasreset and ras answer 623.
class RecordingCommands final : public Commands {
 public:
  int32_t Query(const WideString& port, const WideString& list, const WideString& report) override {
    return Record({u"query", port.View(), list.View(), report.View()}, 0);
  }
  int32_t Ras(const WideString& connection, const WideString& modem, const WideString& phone,
              const WideString& user, const WideString& password, const WideString& baud,
              bool wantShortcut) override {
    return Record({u"ras", connection.View(), modem.View(), phone.View(), user.View(), password.View(),
                   baud.View(), wantShortcut ? u"shortcut" : u"-"}, 623);
  }
  int32_t RasReset(const WideString& connection) override {
    return Record({u"rasreset", connection.View()}, 623);
  }

  std::string calls;

 private:
  int32_t Record(std::initializer_list<std::u16string_view> words, int32_t result) {
    for (std::u16string_view word : words) calls += EncodeUtf8(word) + " ";
    calls.back() = ';';
    return result;
  }
};

struct DispatchCase {
  std::vector<const char16_t*> words;
  int32_t status;
  std::string output, calls;
  bool runtimeWorks = true;
};

TEST(Dispatch, CommandsGetTheirOperandsOrTheBanner) {
  const DispatchCase cases[] = {
      // A short operand list is never read past its end.
      {{u"ras", u"a", u"b", u"c", u"d", u"e"}, -1, kBanner, ""},
      {{u"rasreset", u"Office", u"ignored"}, 623, "", "rasreset Office;"},
      // A ninth argument of any text, even an empty one, asks for the shortcut
      // (eight ask for none: tests/e2e/shortcut.sh).
      {{u"ras", u"O", u"m", u"1", u"u", u"p", u"9", u""}, 623, "", "ras O m 1 u p 9 shortcut;"},
      // A failed runtime ends usage and query with 1, but ras still runs.
      {{u"query", u"COM1", u"AT", u"r.ini"}, 1, "Fatal Error: MFC initialization failed\n", "", false},
      {{u"rasreset", u"O"}, 623, "Fatal Error: MFC initialization failed\n", "rasreset O;", false},
  };
  for (const DispatchCase& c : cases) {
    std::vector<WideString> arguments{WideString(u"halvorn.exe")};
    for (const char16_t* word : c.words) arguments.emplace_back(word);
    FakeRuntime runtime;
    runtime.succeeds = c.runtimeWorks;
    testing::FakeConsole console;
    RecordingCommands commands;
    EXPECT_EQ(RunHalvorn(arguments, runtime, console, commands), c.status) << c.calls;
    EXPECT_EQ(console.transcript, c.output) << c.calls;
    EXPECT_EQ(commands.calls, c.calls);
  }
}

// -1 and 623 show as 255 and 111 through the real binary (tests/e2e).
TEST(ExitStatus, PosixShowsFailuresAsNonZero) {
  EXPECT_EQ(ToPosixExitStatus(0), 0);
  EXPECT_EQ(ToPosixExitStatus(-256), 1);
}

}  // namespace
}  // namespace halvorn
