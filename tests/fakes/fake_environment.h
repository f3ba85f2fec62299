// An environment expansion that replaces the buffer by a set text, or fails;
// and a scoped change of a real environment variable.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "dialup/environment.h"
#include "text/console.h"

namespace halvorn::testing {

class FakeEnvironment final : public Environment {
 public:
  explicit FakeEnvironment(std::vector<std::string>& log) : m_log(log) {}

  std::u16string expanded = u"C:\\ProgramData\\rasphone.pbk";
  uint32_t error = 0;

  uint32_t ExpandInPlace(char16_t* buffer, uint32_t capacity) override {
    m_log.push_back("ExpandInPlace " + std::to_string(capacity));
    if (error == 0) buffer[expanded.copy(buffer, capacity - 1)] = u'\0';
    return error;
  }

 private:
  std::vector<std::string>& m_log;
};

// Sets (or with null, clears) one environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    Set(value);
  }
  ~ScopedEnv() { Set(m_old ? m_old->c_str() : nullptr); }
  void Set(const char* value) { value ? setenv(m_name, value, 1) : unsetenv(m_name); }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

}  // namespace halvorn::testing
