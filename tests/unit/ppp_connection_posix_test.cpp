// pppd's files for a connection (peer file, chat script, secrets), where the
// end-to-end tests do not reach.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "dialup/entry/phonebook_posix.h"
#include "dialup/pppd/ppp_peer_posix.h"
#include "dialup/pppd/ppp_secrets_posix.h"
#include "fakes/fake_phonebook.h"
#include "fakes/scratch_folder.h"
#include "text/code_page.h"

namespace halvorn {
namespace {

using testing::ScratchFolder;
using Pair = std::pair<const char*, const char*>;

// How pppd reads quoted words back, a number with '-' and '.', a speed with a
// leading 0, and the options, dialling and chat script of a connection are
// checked with pppd and chat themselves (tests/e2e/ppp.sh).
TEST(PppText, WhatPppdAndTheModemCanTake) {
  for (const auto& [number, dial] : {Pair{"9W,*70#+1 (555)", "9W,*70#+1555"}})
    EXPECT_EQ(HayesDialString(number), dial) << number;
  for (const char* refused : {"", "555\\T", "555;H", "555\"1"})
    EXPECT_EQ(HayesDialString(refused), std::nullopt) << refused;

  for (const auto& [modem, device] : {Pair{"com12", "/dev/ttyS11"}, Pair{"COM0", "/dev/modem"},
                                      Pair{"ttyUSB0", "/dev/modem"}})
    EXPECT_EQ(PppDevice(modem), device) << modem;
  for (const char* none : {"", "0", "0x10", "9600 ", "-1", "99999999999"})
    EXPECT_EQ(PppSpeed(none), std::nullopt) << none;
  // The shell runs the connect command: the script's name is one word for
  // it, also without a blank. The modem's own name stays as a comment.
  EXPECT_NE(PeerFileText(PppFolders("/etc"), {"It's \"#1\" $x", "USR 56K", "1", "fast", ""})
                .find("\n# modem: USR 56K\n\"/dev/modem\"\nconnect \"/usr/sbin/chat -v -f "
                      "'/etc/chatscripts/It'\\\\''s \\\"#1\\\" $x'\"\n"),
            std::string::npos);
  EXPECT_NE(PeerFileText(PppFolders("/etc"), {"a$b`c|d", "/dev/ttyS0", "1", "", ""})
                .find("\nconnect \"/usr/sbin/chat -v -f '/etc/chatscripts/a$b`c|d'\"\n"),
            std::string::npos);
}

TEST(PppSecrets, EntryReplacesOnlyItsOwnEarlierLines) {
  std::string text = "# client server secret\n\"bob\" Office x\n# halvorn: Office\n\"old\" \"Office\" \"1\"\n"
                     "# halvorn: Home\n\"h\" \"Home\" \"2\"\n* * pw";
  EXPECT_TRUE(PutSecretsEntry(text, "Office", SecretsEntry("alice", "Office", "new")));
  EXPECT_EQ(text, "# client server secret\n\"bob\" Office x\n# halvorn: Home\n\"h\" \"Home\" \"2\"\n"
                  "* * pw\n# halvorn: Office\n\"alice\" \"Office\" \"new\"\n");
  EXPECT_FALSE(PutSecretsEntry(text, "Office", SecretsEntry("alice", "Office", "new")));
  // After a marker, only the line the tool writes is its own: an
  // administrator's line after a look-alike comment stays, and so does the comment.
  for (const char* administrators : {"\"bob\" \"Office\" x\n", "\"bob\" \"Office\" \"x\" 10.0.0.1\n",
                                     "bob Office \"x\"\n", "\"bob\" \"Office \" \"x\"\n", "\n"}) {
    const std::string lookalike = std::string("# halvorn: Office\n") + administrators;
    text = lookalike;
    EXPECT_FALSE(PutSecretsEntry(text, "Office", ""));
    EXPECT_EQ(text, lookalike) << administrators;
  }
}

// An empty user (from "-"): no user line and no secret, and a secret an
// earlier run left for the name goes (the rest: tests/e2e/ppp.sh).
TEST(PppPhonebook, AnEmptyUserWritesNoUserLineAndNoSecret) {
  ScratchFolder scratch;
  for (const char* folder : {"etc", "etc/ppp", "etc/ppp/peers", "etc/chatscripts"})
    mkdir(scratch.Path(folder).c_str(), 0755);
  ASSERT_EQ(StoreSecrets(scratch.Path("etc/ppp/pap-secrets"), "old", "Guest", "pw"), 0);
  PosixPhonebook phonebook{scratch.Path("rasphone.pbk"), scratch.Path("etc")};
  const RasEntryRecord record = testing::TabledEntry(u"1");
  ASSERT_EQ(phonebook.SetEntryProperties(u"Guest", &record, kRasEntryRecordSize), 0u);
  ASSERT_EQ(phonebook.SetCredentials(u"Guest", testing::Credentials(u"", u"pw")), 0u);
  EXPECT_EQ(ScratchFolder::Read(scratch.Path("etc/ppp/peers/Guest")).find("user "), std::string::npos);
  EXPECT_EQ(ScratchFolder::Read(scratch.Path("etc/ppp/pap-secrets")), "");
}

}  // namespace
}  // namespace halvorn
