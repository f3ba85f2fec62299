// Environment expansion on POSIX, which makes the phonebook's path.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dialup/entry/environment_posix.h"
#include "dialup/entry/phonebook_path.h"
#include "text/utf8.h"

namespace halvorn {
namespace {

std::string Expand(const char16_t* text, uint32_t* error = nullptr) {
  std::u16string buffer(260, u'\0');
  std::u16string(text).copy(buffer.data(), 259);
  const uint32_t status = PosixEnvironment().ExpandInPlace(buffer.data(), 260);
  if (error != nullptr) *error = status;
  return EncodeUtf8(buffer.c_str());
}

// A backslash and bytes that are not UTF-8 in ALLUSERSPROFILE, and the speed
// keys landing in the phonebook, are checked through the real binary
// (tests/e2e/hostile_files.sh). Each test runs in a process of its own.
TEST(PosixEnvironmentTest, PhonebookNameExpandsToThePhonebookPath) {
  ::unsetenv("ALLUSERSPROFILE");
  EXPECT_EQ(Expand(kPhonebookFileName),
            "/var/lib/halvorn/Application Data/Microsoft/Network/Connections/Pbk/rasphone.pbk");
  // A folder too long gives no phonebook at all.
  ::setenv("ALLUSERSPROFILE", ("/" + std::string(200, 'x')).c_str(), 1);
  uint32_t error = 0;
  Expand(kPhonebookFileName, &error);
  EXPECT_NE(error, 0u);
  EXPECT_EQ(PosixPhonebookPath(), "");
}

}  // namespace
}  // namespace halvorn
