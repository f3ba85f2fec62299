// A modem line that answers from a script, records every command and speed and
// counts the pauses of a second; nothing really waits. An exchange outside
// the port's reservation is a fault of the caller.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "interrogation/modem_line.h"

namespace halvorn::testing {

class ScriptedModemLine final : public ModemLine {
 public:
  using Script = std::function<std::string(const std::string& command, uint32_t speed, size_t call)>;

  explicit ScriptedModemLine(Script script) : m_script(std::move(script)) {}

  void Reserve(const WideString&) override { reserved = true; }
  void Release() override { reserved = false; }
  void Exchange(const char* command, const WideString&, uint32_t speed, char* reply) override {
    EXPECT_TRUE(reserved) << command;
    EXPECT_FALSE(refusedSpeeds.contains(speed)) << "sent at a speed the port cannot run";
    commands.push_back(command), speeds.push_back(speed);
    const std::string answer = m_script(command, speed, commands.size() - 1);
    std::memset(reply, 0, 251);
    std::memcpy(reply, answer.data(), std::min<size_t>(answer.size(), 250));
  }
  // A speed the port cannot run is noted and answered with nothing.
  void ExchangeIfSpeedRuns(const char* command, const WideString& path, uint32_t speed,
                           char* reply) override {
    if (!refusedSpeeds.contains(speed)) return Exchange(command, path, speed, reply);
    refused.push_back(speed);
    std::memset(reply, 0, 251);
  }
  void Pause(uint32_t milliseconds) override { pauses += milliseconds == 1000; }

  std::vector<std::string> commands;
  std::vector<uint32_t> speeds;
  std::set<uint32_t> refusedSpeeds;
  std::vector<uint32_t> refused;
  long pauses = 0;
  bool reserved = false;

 private:
  Script m_script;
};

}  // namespace halvorn::testing
