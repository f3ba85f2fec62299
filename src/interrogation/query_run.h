// The values one `query` run works with, from the probe to the last command.
#pragma once

#include <cstdint>

#include "text/wide_string.h"

namespace halvorn {

class Console;
class ModemLine;
class ProfileWriter;

struct QueryServices {
  ModemLine& line;
  ProfileWriter& profile;
  Console& console;
};

struct QueryRun {
  WideString port;         // as typed; names the report section
  WideString devicePath;   // "\\.\" + port
  WideString commandList;
  WideString reportFile;
  char reply[1024] = {};   // reused by every exchange
  bool reportFailed = false;

  QueryRun(const WideString& portOperand, const WideString& list, const WideString& report);
};

// Writes one report key; a failed write is reported right away on the console
// and remembered, so that the run can end with status 3.
void WriteReportEntry(QueryServices& services, QueryRun& run, const WideString& key,
                      const WideString& value);

// The reply as the console shows it: each control character (C0, DEL, C1) as
// a visible "\xNN", so that a device cannot drive the user's terminal. The
// report keeps the reply as it is.
WideString ShownOnConsole(const WideString& reply);

// The whole `query` command: probe, then the command list when a speed was
// found, with the port reserved throughout. Returns 0, or 3 when a report
// write failed. Serial failures, a busy port among them, leave as a thrown
// CSerialException*.
int32_t RunQuery(QueryServices& services, const WideString& port, const WideString& commandList,
                 const WideString& reportFile);

}  // namespace halvorn
