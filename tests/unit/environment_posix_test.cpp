// Environment expansion on POSIX, which makes the phonebook's path.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "dialup/entry/environment_posix.h"
#include "dialup/entry/phonebook_path.h"
#include "text/utf8.h"

namespace halvorn {
namespace {

// The phonebook's name expanded, and the status.
std::pair<std::string, uint32_t> ExpandPhonebookName() {
  std::u16string buffer(260, u'\0');
  std::u16string(kPhonebookFileName).copy(buffer.data(), 259);
  const uint32_t status = PosixEnvironment().ExpandInPlace(buffer.data(), 260);
  return {EncodeUtf8(buffer.c_str()), status};
}

// Each test runs in a process of its own (other ALLUSERSPROFILE values:
// tests/e2e/hostile_files.sh).
TEST(PosixEnvironmentTest, PhonebookNameExpandsToThePhonebookPath) {
  ::unsetenv("ALLUSERSPROFILE");
  const std::string path = "/var/lib/halvorn/Application Data/Microsoft/Network/Connections/Pbk/rasphone.pbk";
  EXPECT_EQ(ExpandPhonebookName(), std::pair(path, 0u));
  // A folder too long gives no phonebook at all.
  ::setenv("ALLUSERSPROFILE", ("/" + std::string(200, 'x')).c_str(), 1);
  EXPECT_NE(ExpandPhonebookName().second, 0u);
  EXPECT_EQ(PosixPhonebookPath(), "");
}

}  // namespace
}  // namespace halvorn
