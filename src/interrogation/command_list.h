// The command-list query: sends each of the user's commands at the speed the
// probe found, prints it with its reply and records the reply in the report.
#pragma once

#include <cstdint>

#include "interrogation/query_run.h"

namespace halvorn {

// Every CR LF pair becomes one space; the spaces at both ends go.
void NormalizeCommandReply(WideString& reply);

// "+" becomes "_", "=" becomes "__", and the "?" at both ends go.
void MakeReportKey(WideString& command);

void QueryCommandList(QueryServices& services, QueryRun& run, uint32_t speed);

}  // namespace halvorn
