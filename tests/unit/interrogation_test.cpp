#include <gtest/gtest.h>

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
  int32_t status = -100;
  std::string transcript;
  std::vector<std::string> writes;
  std::vector<ScriptedModemLine::Exchange_> exchanges;
  long pauses = 0;
};

QueryOutcome Query(const char16_t* list, ScriptedModemLine::Script script,
                   const char16_t* failingKey = nullptr) {
  ScriptedModemLine line(std::move(script));
  testing::FakeProfileWriter report;
  if (failingKey != nullptr) report.failOnKey = failingKey;
  testing::FakeConsole console;
  QueryServices services{line, report, console};
  QueryOutcome outcome;
  outcome.status = RunQuery(services, WideString(u"COM3"), WideString(list), WideString(u"report.ini"));
  outcome.transcript = console.transcript;
  for (const auto& call : report.calls)
    outcome.writes.push_back(EncodeUtf8(call.section) + "|" + EncodeUtf8(call.key) + "=" +
                             EncodeUtf8(call.value) + "|" + EncodeUtf8(call.fileName));
  outcome.exchanges = line.exchanges;
  outcome.pauses = line.pauses;
  return outcome;
}

std::vector<uint32_t> SpeedsOf(const QueryOutcome& outcome) {
  std::vector<uint32_t> speeds;
  for (const auto& exchange : outcome.exchanges) speeds.push_back(exchange.speed);
  return speeds;
}

// The modem of the worked example: silent at 9600, answering at 115200.
std::string WorkedExampleModem(const std::string& command, uint32_t speed, size_t) {
  if (speed != 115200) return "";
  if (command == "ATQ0V1E0") return "OK\r\n";
  if (command == "ATI0") return "\r\n56000\r\n\r\nOK\r\n";
  if (command == "AT+FCLASS=?") return "\r\n0,1,8\r\n\r\nOK\r\n";
  return "\r\nERROR\r\n";
}

// The worked example's transcript, report and speeds on the wire are checked
// through the real binary (tests/e2e/query_worked_example.sh). Here: replies
// per try (the last repeats), the speeds tried, the AT key's value and whether
// the command list is sent. One pause per probe try, the last included, and
// none after a command.
TEST(Query, ProbeTriesSpeedsInTableOrder) {
  struct Case {
    std::vector<std::string> replies;
    std::vector<uint32_t> speeds;
    std::string atValue;
    bool found;
  };
  const std::vector<uint32_t> all = {9600,  115200, 460800, 1200,  14400,
                                     19200, 28800,  33600,  57600, 230400};
  std::vector<uint32_t> errorThenAll = all;
  errorThenAll.insert(errorThenAll.begin(), 9600);
  for (const Case& c : {Case{{"\r\nOK\r\n"}, {9600}, "OK", true}, Case{{"ok"}, {9600}, "OK", true},
                        Case{{"ERROR"}, {9600, 9600}, "ERROR", false},
                        Case{{"\r\nERROR\r\n", ""}, errorThenAll, "", false}, Case{{""}, all, "", false},
                        Case{{"ATQ0V1E0\rOK\r\n", "OK"}, {9600, 115200}, "OK", true},
                        Case{{"DATA", "OK"}, {9600, 115200}, "OK", true},
                        Case{{"", "ERROR", "OK"}, {9600, 115200, 115200}, "OK", true}}) {
    SCOPED_TRACE(c.replies[0]);
    const QueryOutcome outcome = Query(u"ATI0", [&](const std::string& command, uint32_t, size_t call) {
      if (command != "ATQ0V1E0") return std::string("X");
      return c.replies[std::min(call, c.replies.size() - 1)];
    });
    std::vector<uint32_t> speeds = c.speeds;
    if (c.found) speeds.push_back(speeds.back());  // ATI0
    EXPECT_EQ(SpeedsOf(outcome), speeds);
    ASSERT_FALSE(outcome.writes.empty());
    EXPECT_EQ(outcome.writes[0], "COM3|AT=" + c.atValue + "|report.ini");
    EXPECT_EQ(outcome.writes.size(), c.found ? 2u : 1u);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.pauses, static_cast<long>(c.speeds.size()));
  }
}

TEST(CommandList, SplittingSendsTheRightCommands) {
  struct Case { const char16_t* list; std::vector<std::string> sent; };
  for (const Case& c : {Case{u"ATI0;|ATI1", {"ATI0;", "ATI1"}},
                        Case{u"|ATI0||ATI1|", {"ATI0", "ATI1"}},
                        Case{u"AT | ATI0", {"AT ", " ATI0"}},
                        Case{u"", {}}}) {
    const QueryOutcome outcome = Query(c.list, [](const std::string&, uint32_t, size_t) {
      return std::string("OK");
    });
    std::vector<std::string> sent;
    for (size_t i = 1; i < outcome.exchanges.size(); ++i) sent.push_back(outcome.exchanges[i].command);
    EXPECT_EQ(sent, c.sent) << EncodeUtf8(c.list);
    EXPECT_EQ(outcome.writes.size(), 1 + c.sent.size());
  }
}

TEST(CommandList, KeysFromCommands) {
  struct Case { const char16_t* command; const char16_t* key; };
  for (const Case& c : {Case{u"AT+CGMI?", u"AT_CGMI"},
                        Case{u"ATS0=1", u"ATS0__1"}, Case{u"?AT?I?", u"AT?I"},
                        Case{u"AT&F [x]", u"AT&F [x]"}, Case{u"???", u""}}) {
    WideString key(c.command);
    MakeReportKey(key);
    EXPECT_EQ(key, WideString(c.key)) << EncodeUtf8(c.command);
  }
}

TEST(CommandList, RepliesKeepLoneLineEndsAndCase) {
  struct Case { const char16_t* raw; const char16_t* clean; };
  for (const Case& c : {Case{u"\r\n56000\r\n\r\nOK\r\n", u"56000  OK"}, Case{u"ATI3\r\r\nok\r\n", u"ATI3\r ok"},
                        Case{u"a\nb", u"a\nb"}, Case{u"   ", u""}}) {
    WideString reply(c.raw);
    NormalizeCommandReply(reply);
    EXPECT_EQ(reply, WideString(c.clean));
  }
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
  const QueryOutcome outcome = Query(u"ATI0|ATI1", WorkedExampleModem, u"ATI0");
  EXPECT_EQ(outcome.status, 3);
  EXPECT_NE(outcome.transcript.find("\nAT Command: ATI0\nAT Reply: 56000  OK\nReport write failed: ATI0"
                                    "\nAT Command: ATI1"),
            std::string::npos);
  EXPECT_EQ(outcome.writes.size(), 3u);  // the run goes on
}

}  // namespace
}  // namespace halvorn
