#include "app/commands.h"

namespace halvorn {

// Placeholders until the serial, interrogation and dial-up subsystems land.
int32_t HalvornCommands::Query(const WideString&, const WideString&, const WideString&) {
  return 0;
}

int32_t HalvornCommands::Ras(const WideString&, const WideString&, const WideString&,
                             const WideString&, const WideString&, const WideString&, bool) {
  return 0;
}

int32_t HalvornCommands::RasReset(const WideString&) { return 0; }

}  // namespace halvorn
