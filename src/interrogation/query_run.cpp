#include "interrogation/query_run.h"

#include <string>

#include "interrogation/baud_rate_probe.h"
#include "interrogation/command_list.h"
#include "interrogation/modem_line.h"
#include "profile/profile_writer.h"
#include "text/console.h"

namespace halvorn {

constexpr int32_t kReportWriteFailedStatus = 3;

QueryRun::QueryRun(const WideString& portOperand, const WideString& list,
                   const WideString& report)
    : port(portOperand), devicePath(u"\\\\.\\"), commandList(list), reportFile(report) {
  devicePath.Append(port.c_str());
}

void WriteReportEntry(QueryServices& services, QueryRun& run, const WideString& key,
                      const WideString& value) {
  if (services.profile.WriteString(run.port.c_str(), key.c_str(), value.c_str(),
                                   run.reportFile.c_str()))
    return;
  PrintWide(services.console, u"\nReport write failed: %s", {key.c_str()});
  run.reportFailed = true;
}

WideString ShownOnConsole(const WideString& reply) {
  std::u16string shown;
  for (char16_t unit : reply.View()) {
    if (unit >= 0x20 && unit != 0x7F && (unit < 0x80 || unit > 0x9F)) {
      shown.push_back(unit);
      continue;
    }
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    shown.append(u"\\x").push_back(kHex[unit >> 4]);
    shown.push_back(kHex[unit & 0xF]);
  }
  return WideString(std::u16string_view(shown));
}

int32_t RunQuery(QueryServices& services, const WideString& port, const WideString& commandList,
                 const WideString& reportFile) {
  QueryRun run(port, commandList, reportFile);
  // The port stays reserved from before the probe to after the last command,
  // on every way out.
  services.line.Reserve(run.devicePath);
  struct Reservation {
    ModemLine& line;
    ~Reservation() { line.Release(); }
  } reservation{services.line};
  const ProbeResult probe = ProbeBaudRate(services, run);
  if (probe.found) QueryCommandList(services, run, BaudRates[probe.speedIndex]);
  return run.reportFailed ? kReportWriteFailedStatus : 0;
}

}  // namespace halvorn
