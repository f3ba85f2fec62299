// The command front end: argument check, usage banner, dispatch by the command
// word and the exit status.
#pragma once

#include <cstdint>
#include <vector>

#include "app/runtime.h"
#include "text/console.h"
#include "text/wide_string.h"

namespace halvorn {

// What each command word runs. Query returns 0, or 3 when a report write
// failed; serial failures leave it as a thrown CSerialException*.
class Commands {
 public:
  virtual ~Commands() = default;
  virtual int32_t Query(const WideString& port, const WideString& commandList,
                        const WideString& reportFile) = 0;
  virtual int32_t Ras(const WideString& connection, const WideString& modem,
                      const WideString& phoneNumber, const WideString& user,
                      const WideString& password, const WideString& baudRate,
                      bool wantShortcut) = 0;
  virtual int32_t RasReset(const WideString& connection) = 0;
};

void PrintUsageBanner(Console& console);

// Runs one command; arguments include the program path at index 0.
int32_t RunHalvorn(const std::vector<WideString>& arguments, Runtime& runtime, Console& console,
                   Commands& commands);

}  // namespace halvorn
