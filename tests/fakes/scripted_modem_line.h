// A modem line that answers from a script and records every exchange and
// pause; nothing really waits.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "interrogation/modem_line.h"
#include "text/console.h"

namespace halvorn::testing {

// Thrown by the script to stand for a serial failure.
struct LineFailure {};

class ScriptedModemLine final : public ModemLine {
 public:
  struct Exchange_ {
    std::string command;
    std::string devicePath;
    uint32_t speed;
  };
  using Script = std::function<std::string(const std::string& command, uint32_t speed, size_t call)>;

  explicit ScriptedModemLine(Script script) : m_script(std::move(script)) {}

  void Exchange(const char* command, const WideString& devicePath, uint32_t speed,
                char* reply) override {
    exchanges.push_back({command, EncodeUtf8(devicePath.View()), speed});
    events.push_back("exchange");
    const std::string answer = m_script(command, speed, exchanges.size() - 1);
    std::memset(reply, 0, 250);
    std::memcpy(reply, answer.data(), std::min<size_t>(answer.size(), 250));
    reply[250] = '\0';
  }
  void Pause(uint32_t milliseconds) override {
    events.push_back("pause " + std::to_string(milliseconds));
  }

  std::vector<Exchange_> exchanges;
  std::vector<std::string> events;

 private:
  Script m_script;
};

}  // namespace halvorn::testing
