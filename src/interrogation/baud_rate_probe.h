// The baud-rate probe: finds the speed at which the modem answers the probe
// command with "OK", trying a fixed table of speeds in a fixed order.
#pragma once

#include <cstdint>

#include "interrogation/query_run.h"

namespace halvorn {

inline constexpr int kBaudRateCount = 10;
// Tried in this order: the common speeds first, not ascending.
inline constexpr uint32_t BaudRates[kBaudRateCount] = {9600,  115200, 460800, 1200,  14400,
                                                       19200, 28800,  33600,  57600, 230400};

inline constexpr char kProbeCommand[] = "ATQ0V1E0";
inline constexpr char16_t kProbeCommandWide[] = u"ATQ0V1E0";

struct ProbeResult {
  bool found = false;
  int speedIndex = 0;
};

// CR and LF become spaces, every upper-case "AT" a space, the spaces at both
// ends go, and the rest is upper-cased (a to z only).
void NormalizeProbeReply(WideString& reply);

// Probes, prints one line per try, and writes the report key "AT" with the last
// cleaned reply whatever the outcome.
ProbeResult ProbeBaudRate(QueryServices& services, QueryRun& run);

}  // namespace halvorn
