#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dispatch.h"
#include "fakes/fake_comm.h"
#include "fakes/fake_console.h"
#include "serial/serial_port.h"

namespace halvorn {
namespace {

constexpr char kBanner[] =
    "\nHalvorn utility version 0.201.50928\n\n\tUsage:\thalvorn.exe query COMx \"AT|ATI0|ATI1\" "
    "output.ini\n\n\t\thalvorn.exe ras connection modem phonenumber user password baudrate "
    "[shortcut]\n";

class FakeRuntime final : public Runtime {
 public:
  bool Initialize() override { return succeeds; }
  bool succeeds = true;
};

class RecordingCommands final : public Commands {
 public:
  int32_t Query(const WideString& port, const WideString& list, const WideString& report) override {
    calls.push_back("query " + Narrow(port) + " " + Narrow(list) + " " + Narrow(report));
    return queryResult;
  }
  int32_t Ras(const WideString& connection, const WideString& modem, const WideString& phone,
              const WideString& user, const WideString& password, const WideString& baud,
              bool wantShortcut) override {
    calls.push_back("ras " + Narrow(connection) + " " + Narrow(modem) + " " + Narrow(phone) + " " +
                    Narrow(user) + " " + Narrow(password) + " " + Narrow(baud) +
                    (wantShortcut ? " shortcut" : ""));
    return rasResult;
  }
  int32_t RasReset(const WideString& connection) override {
    calls.push_back("rasreset " + Narrow(connection));
    return rasResult;
  }

  static std::string Narrow(const WideString& s) { return EncodeUtf8(s.View()); }

  std::vector<std::string> calls;
  int32_t queryResult = 0;
  int32_t rasResult = 623;
};

struct DispatchResult {
  int32_t status;
  std::string output;
  std::vector<std::string> calls;
};

DispatchResult Dispatch(std::vector<const char16_t*> words, bool runtimeWorks = true) {
  std::vector<WideString> arguments{WideString(u"halvorn.exe")};
  for (const char16_t* word : words) arguments.emplace_back(word);
  FakeRuntime runtime;
  runtime.succeeds = runtimeWorks;
  testing::FakeConsole console;
  RecordingCommands commands;
  const int32_t status = RunHalvorn(arguments, runtime, console, commands);
  return {status, console.transcript, commands.calls};
}

TEST(Dispatch, BannerForFewerThanThreeArguments) {
  for (auto words : std::vector<std::vector<const char16_t*>>{{}, {u"query"}, {u"ras"}, {u"x"}}) {
    const DispatchResult run = Dispatch(words);
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.output, kBanner);
    EXPECT_TRUE(run.calls.empty());
  }
}

TEST(Dispatch, ShortOperandListsGetTheBannerWithoutReadingMissingArguments) {
  for (auto words : std::vector<std::vector<const char16_t*>>{
           {u"query", u"COM1"}, {u"query", u"COM1", u"AT"}, {u"ras", u"a", u"b", u"c", u"d", u"e"}}) {
    const DispatchResult run = Dispatch(words);
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.output, kBanner);
    EXPECT_TRUE(run.calls.empty());
  }
}

TEST(Dispatch, CommandWordMustMatchExactly) {
  for (const char16_t* word : {u"QUERY", u"Query", u"query ", u"rasReset", u"RAS", u" ras", u"rasreset2"}) {
    const DispatchResult run = Dispatch({word, u"a", u"b", u"c", u"d", u"e", u"f"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(run.calls.empty());
  }
}

TEST(Dispatch, EachCommandGetsItsOperands) {
  DispatchResult run = Dispatch({u"query", u"COM3", u"ATI0|ATI1", u"r.ini", u"extra"});
  EXPECT_EQ(run.calls, std::vector<std::string>{"query COM3 ATI0|ATI1 r.ini"});
  EXPECT_EQ(run.status, 0);

  run = Dispatch({u"rasreset", u"Office", u"ignored"});
  EXPECT_EQ(run.calls, std::vector<std::string>{"rasreset Office"});
  EXPECT_EQ(run.status, 623);
}

TEST(Dispatch, NinthArgumentOfAnyTextAsksForTheShortcut) {
  DispatchResult run = Dispatch({u"ras", u"Office", u"USR", u"555", u"alice", u"pw", u"57600"});
  EXPECT_EQ(run.calls, std::vector<std::string>{"ras Office USR 555 alice pw 57600"});
  for (const char16_t* ninth : {u"shortcut", u"no", u"0", u""}) {
    run = Dispatch({u"ras", u"Office", u"USR", u"555", u"alice", u"pw", u"57600", ninth});
    EXPECT_EQ(run.calls, std::vector<std::string>{"ras Office USR 555 alice pw 57600 shortcut"});
  }
}

TEST(Dispatch, FailedRuntimeSkipsUsageAndQueryButNotRas) {
  DispatchResult run = Dispatch({u"query", u"COM1", u"AT", u"r.ini"}, false);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "Fatal Error: MFC initialization failed\n");
  EXPECT_TRUE(run.calls.empty());

  run = Dispatch({}, false);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "Fatal Error: MFC initialization failed\n");

  run = Dispatch({u"rasreset", u"Office"}, false);
  EXPECT_EQ(run.status, 623);
  EXPECT_EQ(run.calls, std::vector<std::string>{"rasreset Office"});
}

// A query that prints a line and then meets a serial failure.
class FailingQuery final : public Commands {
 public:
  explicit FailingQuery(Console& console) : m_console(console) {}
  int32_t Query(const WideString&, const WideString&, const WideString&) override {
    PrintWide(m_console, u"\n9600\tAT Command: ```ATQ0V1E0```");
    ThrowSerialException(comm, 2);
  }
  int32_t Ras(const WideString&, const WideString&, const WideString&, const WideString&,
              const WideString&, const WideString&, bool) override {
    return 0;
  }
  int32_t RasReset(const WideString&) override { return 0; }

  testing::FakeComm comm;

 private:
  Console& m_console;
};

TEST(Dispatch, SerialFailureInQueryEndsWithStatusTwoAndKeepsEarlierOutput) {
  // The sanitizer build's leak check shows an exception that was not released.
  const std::vector<WideString> arguments{WideString(u"halvorn.exe"), WideString(u"query"),
                                          WideString(u"COM9"), WideString(u"AT"),
                                          WideString(u"r.ini")};
  FakeRuntime runtime;
  testing::FakeConsole console;
  FailingQuery commands(console);
  EXPECT_EQ(RunHalvorn(arguments, runtime, console, commands), 2);
  EXPECT_EQ(console.transcript, "\n9600\tAT Command: ```ATQ0V1E0```");
}

TEST(ExitStatus, PosixShowsFailuresAsNonZero) {
  struct Case { int32_t status; int shown; };
  for (const Case& c : {Case{0, 0}, Case{-1, 255}, Case{2, 2}, Case{623, 111}, Case{256, 1},
                        Case{-256, 1}, Case{-3, 253}, Case{0x7FFFFF00, 1}})
    EXPECT_EQ(ToPosixExitStatus(c.status), c.shown) << c.status;
}

TEST(FormatWide, DirectivesAndArguments) {
  EXPECT_EQ(FormatWide(u"\n%d\tAT Command: ```%s```", {9600, u"ATQ0V1E0"}),
            u"\n9600\tAT Command: ```ATQ0V1E0```");
  EXPECT_EQ(FormatWide(u"Error = %d\n", {-623}), u"Error = -623\n");
  EXPECT_EQ(FormatWide(u"100%% %s", {u""}), u"100% ");
}

}  // namespace
}  // namespace halvorn
