// The project's own phonebook service on POSIX.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "dialup/entry/phonebook_posix.h"
#include "fakes/fake_phonebook.h"
#include "fakes/scratch_folder.h"
#include "profile/ini_text.h"
#include "text/code_page.h"
#include "text/utf8.h"

namespace halvorn {
namespace {

using testing::Credentials;
using testing::TabledEntry;
using testing::ScratchFolder;

class PosixPhonebookTest : public ::testing::Test {
 protected:
  uint32_t Add(const char16_t* name, const RasEntryRecord& record = TabledEntry()) {
    return phonebook.SetEntryProperties(name, &record, kRasEntryRecordSize);
  }

  ScratchFolder scratch;
  PosixPhonebook phonebook{scratch.Path("rasphone.pbk"), scratch.Path("etc")};
};

TEST(EntryName, RulesOfTheService) {
  for (const char16_t* good : {u"7", u"My ISP (2)", u"ÆØÅ", u"a=b;#1"})
    EXPECT_TRUE(IsWellFormedEntryName(good)) << EncodeUtf8(good);
  for (const char16_t* bad : {u"", u"[x", u"a:b", u"a|b", u"a?b", u"a\\b", u"a\tb", u"---", u" Office", u"\xD800x"})
    EXPECT_FALSE(IsWellFormedEntryName(bad)) << EncodeUtf8(bad);
  EXPECT_EQ(std::pair(IsWellFormedEntryName(std::u16string(256, u'n').c_str()),
                      IsWellFormedEntryName(std::u16string(257, u'n').c_str())), std::pair(true, false));
  EXPECT_FALSE(IsWellFormedEntryName(nullptr));
}

// Entries, credentials, their modes, names in other case and the rest of the
// phonebook kept: through the real binary (tests/e2e/ras.sh, hostile_files.sh).
// What cannot be kept on one line is refused before anything is written.
TEST_F(PosixPhonebookTest, TextsComeBackExactlyOrAreRefusedUpFront) {
  ASSERT_EQ(Add(u"Office"), 0u);
  EXPECT_EQ(Add(u"Other", TabledEntry(u"555\r\n[Office]")), kErrorInvalidParameter);
  EXPECT_EQ(phonebook.SetCredentials(u"Office", Credentials(u"a", u"x\ny")), kErrorInvalidParameter);
  const std::u16string password = u"  spaced pw =;#\"\\ ";
  ASSERT_EQ(phonebook.SetCredentials(u"Office", Credentials(u" alice", password)), 0u);
  const std::string text = ScratchFolder::Read(phonebook.CredentialsPath());
  EXPECT_EQ(ini::UnquoteValue(*ini::GetValue(text, "Office", "Password")), EncodeUtf8(password));
  EXPECT_EQ(ini::UnquoteValue(*ini::GetValue(text, "Office", "UserName")), " alice");
  // Replaced under any case of the name.
  ASSERT_EQ(phonebook.SetCredentials(u"OFFICE", Credentials(u"", u"")), 0u);
  EXPECT_EQ(ScratchFolder::Read(phonebook.CredentialsPath()), "[Office]\nUserName=\nPassword=\n");

  for (EntryOperand operand : {EntryOperand::Modem, EntryOperand::PhoneNumber, EntryOperand::User,
                                EntryOperand::BaudRate}) {
    EXPECT_TRUE(phonebook.CanStore(operand, u"  a=b;\"c\"  "));
    for (const char16_t* bad : {u"pw\n[x]", u"a\rb", u"\x1B[2J", u"a\xD800", u"\x7F", u"N\xDCE9t"})
      EXPECT_FALSE(phonebook.CanStore(operand, bad)) << EncodeUtf8(bad);
  }
  EXPECT_FALSE(phonebook.CanStore(EntryOperand::Password, u"a\tb"));
  // A name that was not UTF-8 (its byte kept as a lone surrogate) is no name the user typed.
  EXPECT_FALSE(phonebook.CanStore(EntryOperand::Connection, u"N\xDCE9t"));
  EXPECT_FALSE(phonebook.CanStore(EntryOperand::Connection, std::u16string(128, u'\u00e9').c_str()));  // 256 bytes
  // pppd reads a client of "*" as any client.
  EXPECT_EQ(std::pair(phonebook.CanStore(EntryOperand::User, u"*"), phonebook.CanStore(EntryOperand::User, u"**")),
            std::pair(false, true));
}

TEST_F(PosixPhonebookTest, UnreadableOrUnwritablePhonebook) {
  PosixPhonebook unusable("", scratch.Path("etc"));  // a path that could not be made
  EXPECT_EQ(unusable.ValidateEntryName(u"Office"), kErrorCannotOpenPhonebook);
  const RasEntryRecord record = TabledEntry();
  EXPECT_EQ(unusable.SetEntryProperties(u"Office", &record, sizeof record), kErrorCannotWritePhonebook);
  if (geteuid() == 0) GTEST_SKIP() << "file modes do not bind root";
  ASSERT_EQ(Add(u"Office"), 0u);
  chmod(phonebook.PhonebookPath().c_str(), 0);
  EXPECT_EQ(phonebook.ValidateEntryName(u"Other"), kErrorCannotOpenPhonebook);
  RasEntryRecord read = TabledEntry();
  uint32_t size = sizeof read;
  EXPECT_EQ(phonebook.GetEntryProperties(u"Office", &read, size), kErrorCannotOpenPhonebook);
  chmod(phonebook.PhonebookPath().c_str(), 0644);
  chmod(scratch.Path().c_str(), 0500);
  EXPECT_EQ(Add(u"Other"), kErrorCannotWritePhonebook);
  chmod(scratch.Path().c_str(), 0700);
}

}  // namespace
}  // namespace halvorn
