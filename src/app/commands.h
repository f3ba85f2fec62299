// The real commands behind the command words, working on the platform services.
#pragma once

#include "app/dispatch.h"
#include "app/services.h"

namespace halvorn {

class HalvornCommands final : public Commands {
 public:
  explicit HalvornCommands(Services& services) : m_rServices(services) {}

  int32_t Query(const WideString& port, const WideString& commandList,
                const WideString& reportFile) override;
  int32_t Ras(const WideString& connection, const WideString& modem, const WideString& phoneNumber,
              const WideString& user, const WideString& password, const WideString& baudRate,
              bool wantShortcut) override;
  int32_t RasReset(const WideString& connection) override;

 private:
  Services& m_rServices;
};

}  // namespace halvorn
