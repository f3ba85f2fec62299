#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "fakes/fake_console.h"
#include "fakes/fake_profile_writer.h"
#include "fakes/scripted_modem_line.h"
#include "interrogation/baud_rate_probe.h"
#include "interrogation/command_list.h"
#include "interrogation/query_run.h"

namespace halvorn {
namespace {

using testing::ScriptedModemLine;

struct QueryOutcome {
  ScriptedModemLine line;
  int32_t status = -100;
  std::string transcript{};
  std::vector<std::string> writes{};
};

QueryOutcome Query(const char16_t* list, ScriptedModemLine::Script script,
                   const char16_t* failingKey = nullptr, std::set<uint32_t> refused = {}) {
  QueryOutcome outcome{ScriptedModemLine(std::move(script))};
  outcome.line.refusedSpeeds = std::move(refused);
  testing::FakeProfileWriter report;
  if (failingKey != nullptr) report.failOnKey = failingKey;
  testing::FakeConsole console;
  QueryServices services{outcome.line, report, console};
  outcome.status = RunQuery(services, WideString(u"COM3"), WideString(list), WideString(u"report.ini"));
  outcome.transcript = console.transcript;
  for (const auto& call : report.calls)
    outcome.writes.push_back(EncodeUtf8(call.section) + "|" + EncodeUtf8(call.key) + "=" +
                             EncodeUtf8(call.value) + "|" + EncodeUtf8(call.fileName));
  return outcome;
}

std::string AllOk(const std::string&, uint32_t, size_t) { return "OK"; }

// Replies per try (the last repeats), the speeds tried, the AT key and whether
// the list is sent; one pause per probe try, none after a command.
TEST(Query, ProbeTriesSpeedsInTableOrder) {
  struct Case {
    std::vector<std::string> replies;
    std::vector<uint32_t> speeds;
    std::string atValue;
    bool found;
    std::set<uint32_t> refused = {};  // speeds the port cannot run
  };
  const std::vector<uint32_t> errorThenAll = {9600,  9600,  115200, 460800, 1200, 14400,
                                              19200, 28800, 33600,  57600,  230400};
  for (const Case& c : {Case{{"ok"}, {9600}, "OK", true}, Case{{"ERROR"}, {9600, 9600}, "ERROR", false},
                        Case{{"\r\nERROR\r\n", ""}, errorThenAll, "", false},
                        Case{{"ATQ0V1E0\rOK\r\n", "OK"}, {9600, 115200}, "OK", true},
                        // A 16550 with a modem fixed at 57600: the speeds it
                        // cannot run are tries without an answer.
                        Case{{"", "", "", "", "", "", "", "OK"}, {9600, 115200, 460800, 1200, 14400, 19200, 28800, 33600, 57600},
                             "OK", true, {460800, 230400}}}) {
    SCOPED_TRACE(c.replies[0]);
    const QueryOutcome outcome = Query(
        u"ATI0",
        [&](const std::string& command, uint32_t, size_t call) {
          if (command != "ATQ0V1E0") return std::string("X");
          return c.replies[std::min(call, c.replies.size() - 1)];
        },
        nullptr, c.refused);
    std::vector<uint32_t> sent, refusedTries;
    for (uint32_t speed : c.speeds) (c.refused.contains(speed) ? refusedTries : sent).push_back(speed);
    if (c.found) sent.push_back(sent.back());  // ATI0
    EXPECT_EQ(outcome.line.speeds, sent);
    EXPECT_EQ(outcome.line.refused, refusedTries);
    for (uint32_t speed : refusedTries)
      EXPECT_NE(outcome.transcript.find("\n" + std::to_string(speed) + "\tAT Command: ```ATQ0V1E0```\nAT Reply: ``````"),
                std::string::npos);
    ASSERT_FALSE(outcome.writes.empty());
    EXPECT_EQ(outcome.writes[0], "COM3|AT=" + c.atValue + "|report.ini");
    EXPECT_EQ(outcome.writes.size(), c.found ? 2u : 1u);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.line.pauses, static_cast<long>(c.speeds.size()));
    EXPECT_FALSE(outcome.line.reserved);
  }
}

// Empty commands are skipped, spaces kept, and ";" separates from the second
// command on.
TEST(CommandList, SplittingSendsTheRightCommands) {
  const QueryOutcome outcome = Query(u"|AT ;|| ATI1;ATI2|", AllOk);
  EXPECT_EQ(outcome.line.commands, (std::vector<std::string>{"ATQ0V1E0", "AT ;", " ATI1", "ATI2"}));
  EXPECT_EQ(outcome.writes.size(), 4u);
}

// Keys lose only the outer "?"; replies keep lone line ends and case.
TEST(CommandList, KeysAndRepliesKeepWhatIsInside) {
  WideString key(u"?AT?I?"), noKey(u"???"), reply(u"ATI3\r\r\nok\n"), blank(u"   ");
  MakeReportKey(key), MakeReportKey(noKey), NormalizeCommandReply(reply), NormalizeCommandReply(blank);
  EXPECT_EQ(key, WideString(u"AT?I"));
  EXPECT_TRUE(noKey.IsEmpty());
  EXPECT_EQ(reply, WideString(u"ATI3\r ok\n"));
  EXPECT_TRUE(blank.IsEmpty());
}

// Escapes and bells are shown escaped through the real binary
// (tests/e2e/hostile_files.sh); here the rest of the control range.
TEST(Query, ControlCharactersOfRepliesShowAsHexOnTheConsole) {
  EXPECT_EQ(ShownOnConsole(WideString(u"a\t\x7F\x80\x9B\xA0\u00e9\r~")),
            WideString(u"a\\x09\\x7F\\x80\\x9B\xA0\u00e9\\x0D~"));
}

// A failed write of the probe's key is checked through the real binary
// (tests/e2e/hostile_files.sh); one of a later key lets the run go on.
TEST(Query, FailedReportWriteIsReportedAndTheRunGoesOn) {
  const QueryOutcome outcome = Query(u"ATI0|ATI1", AllOk, u"ATI0");
  EXPECT_EQ(outcome.status, 3);
  EXPECT_NE(outcome.transcript.find("\nAT Command: ATI0\nAT Reply: OK\nReport write failed: ATI0"
                                    "\nAT Command: ATI1"),
            std::string::npos);
  EXPECT_EQ(outcome.writes.size(), 3u);  // the run goes on
}

}  // namespace
}  // namespace halvorn
