#include "interrogation/baud_rate_probe.h"

#include "interrogation/modem_line.h"
#include "text/code_page.h"
#include "text/console.h"

namespace halvorn {

namespace {

constexpr uint32_t kPauseAfterTryMs = 1000;
constexpr int kErrorBudget = 2;

}  // namespace

void NormalizeProbeReply(WideString& reply) {
  reply.Replace(u"\r", u" ");
  reply.Replace(u"\n", u" ");
  reply.Replace(u"AT", u" ");
  reply.TrimRight(u" ").TrimLeft(u" ");
  reply.MakeUpper();
}

ProbeResult ProbeBaudRate(QueryServices& services, QueryRun& run) {
  ProbeResult result;
  int errorBudget = kErrorBudget;
  WideString reply;
  do {
    const uint32_t speed = BaudRates[result.speedIndex];
    // A speed the port cannot run is a try without an answer.
    services.line.ExchangeIfSpeedRuns(kProbeCommand, run.devicePath, speed, run.reply);
    reply.AssignNarrow(run.reply, ReplyCodePage());
    NormalizeProbeReply(reply);
    PrintWide(services.console, u"\n%d\tAT Command: ```%s```\nAT Reply: ```%s```",
              {static_cast<int32_t>(speed), kProbeCommandWide, ShownOnConsole(reply).c_str()});

    if (reply.Equals("OK"))
      result.found = true;
    else if (reply.Equals("ERROR"))
      --errorBudget;  // the same speed is tried again
    else
      ++result.speedIndex;

    services.line.Pause(kPauseAfterTryMs);
  } while (!result.found && errorBudget > 0 && result.speedIndex < kBaudRateCount);

  WriteReportEntry(services, run, WideString(u"AT"), reply);
  return result;
}

}  // namespace halvorn
