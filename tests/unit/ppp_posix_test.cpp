// pppd's files for a connection (peer file, chat script, secrets) and the
// desktop launcher that dials it: the quoting tables, the refusals, and the
// phonebook writing them under a scratch configuration root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "dialup/desktop_launcher_posix.h"
#include "dialup/phonebook_posix.h"
#include "dialup/ppp_peer_posix.h"
#include "dialup/ppp_secrets_posix.h"
#include "fakes/fake_phonebook.h"
#include "fakes/scratch_folder.h"
#include "text/code_page.h"

namespace halvorn {
namespace {

using testing::ScratchFolder;
using Pair = std::pair<const char*, const char*>;

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

TEST(PppText, QuotingOfWordsNumbersDevicesAndSpeeds) {
  for (const auto& [text, word] : {Pair{"alice", "\"alice\""}, Pair{"", "\"\""},
                                   Pair{"a b", "\"a b\""}, Pair{"say \"hi\"", "\"say \\\"hi\\\"\""},
                                   Pair{"C:\\x#1 $HOME", "\"C:\\\\x#1 $HOME\""}})
    EXPECT_EQ(PppQuoted(text), word) << text;
  EXPECT_EQ(PppQuoted("a\tb"), std::nullopt);
  EXPECT_EQ(PppQuoted("a\nb"), std::nullopt);

  for (const auto& [number, dial] : {Pair{"5551234", "5551234"}, Pair{"(555) 123-45.6", "555123456"},
                                     Pair{"9W,*70#+1 555", "9W,*70#+1555"}, Pair{"T1P2!@w", "T1P2!@w"}})
    EXPECT_EQ(HayesDialString(number), dial) << number;
  for (const char* refused : {"", "--", "555^M", "555\\T", "555;H", "5551234x", "555\"1"})
    EXPECT_EQ(HayesDialString(refused), std::nullopt) << refused;

  for (const auto& [modem, device] : {Pair{"COM1", "/dev/ttyS0"}, Pair{"com12", "/dev/ttyS11"},
                                      Pair{"/dev/ttyUSB0", "/dev/ttyUSB0"}, Pair{"USR 56K", "/dev/modem"},
                                      Pair{"COM0", "/dev/modem"}, Pair{"ttyUSB0", "/dev/modem"}})
    EXPECT_EQ(PppDevice(modem), device) << modem;
  for (const auto& [speed, pppd] : {Pair{"57600", "57600"}, Pair{"057600", "57600"}})
    EXPECT_EQ(PppSpeed(speed), pppd);
  for (const char* none : {"", "0", "fast", "0x10", "9600 ", "-1", "99999999999"})
    EXPECT_EQ(PppSpeed(none), std::nullopt) << none;
}

TEST(PppText, PeerFileAndChatScriptOfTheConnection) {
  const PppFolders folders("/etc");
  const PppConnection office{"Office", "/dev/ttyUSB0", "555-1234", "57600", "alice"};
  EXPECT_EQ(PeerFileText(folders, office),
            "# halvorn: Office\n\"/dev/ttyUSB0\"\n57600\n"
            "connect \"/usr/sbin/chat -v -f /etc/chatscripts/Office\"\nuser \"alice\"\n"
            "remotename \"Office\"\nnoauth\nnoipdefault\ndefaultroute\nusepeerdns\nhide-password\n"
            "lock\nmodem\ncrtscts\nmaxfail 3\n");
  EXPECT_EQ(ChatScriptText(office),
            "# halvorn: Office\nABORT BUSY\nABORT VOICE\nABORT \"NO CARRIER\"\n"
            "ABORT \"NO DIALTONE\"\nABORT \"NO DIAL TONE\"\nABORT \"NO ANSWER\"\nABORT DELAYED\n"
            "ABORT ERROR\nREPORT CONNECT\nTIMEOUT 10\n\"\" ATZ\nOK ATDT5551234\nTIMEOUT 60\n"
            "CONNECT \"\"\n");
  // The shell runs the connect command: the script's name is one word for it.
  const PppConnection hostile{"It's \"#1\" $x", "USR 56K", "1", "fast", ""};
  EXPECT_EQ(PeerFileText(folders, hostile),
            "# halvorn: It's \"#1\" $x\n# modem: USR 56K\n\"/dev/modem\"\n"
            "connect \"/usr/sbin/chat -v -f '/etc/chatscripts/It'\\\\''s \\\"#1\\\" $x'\"\n"
            "remotename \"It's \\\"#1\\\" $x\"\nnoauth\nnoipdefault\ndefaultroute\nusepeerdns\n"
            "hide-password\nlock\nmodem\ncrtscts\nmaxfail 3\n");
}

TEST(PppSecrets, EntryReplacesOnlyItsOwnEarlierLines) {
  EXPECT_EQ(SecretsEntry("a \"b\\", "My #1", "p$ w"),
            "# halvorn: My #1\n\"a \\\"b\\\\\" \"My #1\" \"p$ w\"\n");
  EXPECT_EQ(SecretsEntry("alice", "Office", "@/etc/shadow"), "");  // pppd would read the file
  EXPECT_EQ(SecretsEntry("alice", "Office", "a\nb"), "");

  std::string text = "# client server secret\n\"bob\" Office x\n# halvorn: Office\n\"old\" \"Office\" \"1\"\n"
                     "# halvorn: Home\n\"h\" \"Home\" \"2\"\n* * pw";
  EXPECT_TRUE(PutSecretsEntry(text, "Office", SecretsEntry("alice", "Office", "new")));
  EXPECT_EQ(text, "# client server secret\n\"bob\" Office x\n# halvorn: Home\n\"h\" \"Home\" \"2\"\n"
                  "* * pw\n# halvorn: Office\n\"alice\" \"Office\" \"new\"\n");
  EXPECT_FALSE(PutSecretsEntry(text, "Office", SecretsEntry("alice", "Office", "new")));
}

TEST(PppSecrets, FileModeNeverWidens) {
  ScratchFolder scratch;
  const mode_t oldMask = umask(0);
  EXPECT_EQ(StoreSecrets(scratch.Path("new"), "u", "Office", "p"), 0);
  EXPECT_EQ(ModeOf(scratch.Path("new")), 0600u);
  ScratchFolder::Write(scratch.Path("open"), "kept\n");
  chmod(scratch.Path("open").c_str(), 0644);
  EXPECT_EQ(StoreSecrets(scratch.Path("open"), "u", "Office", "p"), 0);
  EXPECT_EQ(ModeOf(scratch.Path("open")), 0600u);
  EXPECT_EQ(ScratchFolder::Read(scratch.Path("open")), "kept\n# halvorn: Office\n\"u\" \"Office\" \"p\"\n");
  umask(oldMask);
}

TEST(Launcher, ExecQuotingAndTheWholeFile) {
  for (const auto& [argument, exec] :
       {Pair{"Office", "Office"}, Pair{"100%", "100%%"}, Pair{"My Office", "\"My Office\""},
        Pair{"a\"b", "\"a\\\"b\""}, Pair{"$x`y\\", "\"\\$x\\`y\\\\\""}, Pair{"#1", "\"#1\""}})
    EXPECT_EQ(DesktopExecArgument(argument), exec) << argument;
  EXPECT_EQ(DesktopEscaped("\"a\\\"\""), "\"a\\\\\"\"");
  for (const auto& [name, pon] : {std::pair{"Office", true}, {"a'b$", true}, {"My Office", false},
                                  {"-x", false}})
    EXPECT_EQ(PonTakes(name), pon) << name;
  EXPECT_EQ(LauncherText("Office"),
            "# halvorn: Office\n[Desktop Entry]\nType=Application\nVersion=1.0\nName=Office\n"
            "Comment=Dial the connection Office\nExec=/usr/bin/pon Office\nTryExec=/usr/bin/pon\n"
            "Icon=modem\nTerminal=false\nCategories=Network;Dialup;\nActions=HangUp;\n\n"
            "[Desktop Action HangUp]\nName=Hang up\nExec=/usr/bin/poff Office\n");
  const std::string blanks = LauncherText("My $1");
  EXPECT_NE(blanks.find("\nExec=/usr/sbin/pppd call \"My \\\\$1\"\nTryExec=/usr/sbin/pppd\n"), std::string::npos);
  EXPECT_NE(blanks.find("\nExec=/usr/bin/poff\n"), std::string::npos) << "poff cannot match a $";
}

TEST(Launcher, DesktopLineOfUserDirs) {
  for (const auto& [text, desktop] :
       {Pair{"XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n", "/home/a/Bureau"},
        Pair{"# x\n  XDG_DESKTOP_DIR=\"/srv/d \\\"q\\\"\"", "/srv/d \"q\""},
        Pair{"XDG_DESKTOP_DIR=\"$HOME/A\"\nXDG_DESKTOP_DIR=\"$HOME\"\n", "/home/a"}})
    EXPECT_EQ(UserDirsDesktop(text, "/home/a"), desktop) << text;
  for (const char* none : {"", "XDG_DOWNLOAD_DIR=\"$HOME/D\"", "XDG_DESKTOP_DIR=\"rel\"",
                           "XDG_DESKTOP_DIR=\"$HOMEX/d\"", "XDG_DESKTOP_DIR=\"$HOME/open"})
    EXPECT_EQ(UserDirsDesktop(none, "/home/a"), std::nullopt) << none;
}

// The phonebook writes pppd's files under a scratch configuration root.
class PppPhonebookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"etc", "etc/ppp", "etc/ppp/peers", "etc/chatscripts"})
      mkdir(scratch.Path(folder).c_str(), 0755);
  }
  uint32_t Ras(const char16_t* name, const char16_t* phone, const char16_t* user) {
    const RasEntryRecord record = testing::TabledEntry(phone);
    uint32_t status = phonebook.ValidateEntryName(name);
    if (status == 0) status = phonebook.SetEntryProperties(name, &record, kRasEntryRecordSize);
    if (status == 0) status = phonebook.SetCredentials(name, testing::Credentials(user, u"pw"));
    return status;
  }

  ScratchFolder scratch;
  PosixPhonebook phonebook{scratch.Path("rasphone.pbk"), scratch.Path("etc")};
};

TEST_F(PppPhonebookTest, WritesTheConnectionAndRefusesWhatPppdCannotTake) {
  ASSERT_EQ(Ras(u"Office", u"5551234", u"alice"), 0u);
  EXPECT_EQ(ModeOf(scratch.Path("etc/ppp/peers/Office")), 0640u);
  EXPECT_EQ(ModeOf(scratch.Path("etc/chatscripts/Office")), 0640u);
  EXPECT_EQ(ScratchFolder::Read(scratch.Path("etc/ppp/chap-secrets")),
            "# halvorn: Office\n\"alice\" \"Office\" \"pw\"\n");
  EXPECT_FALSE(phonebook.PppPeerSkipped());

  ScratchFolder::Write(scratch.Path("etc/chatscripts/Taken"), "");
  EXPECT_EQ(Ras(u"Taken", u"1", u"u"), kErrorAlreadyExists);
  EXPECT_EQ(Ras(u"a..b", u"1", u"u"), kErrorInvalidName);
  EXPECT_EQ(Ras(u"Caret", u"555^1", u"u"), kErrorInvalidParameter);
  EXPECT_EQ(phonebook.ValidateEntryName(u"Caret"), 0u) << "a refused number writes no entry";

  // An empty user (from "-") writes no user line and no secret.
  ASSERT_EQ(Ras(u"Guest", u"1", u""), 0u);
  EXPECT_EQ(ScratchFolder::Read(scratch.Path("etc/ppp/peers/Guest")).find("user "), std::string::npos);
  EXPECT_EQ(ScratchFolder::Read(scratch.Path("etc/ppp/pap-secrets")).find("Guest"), std::string::npos);

  for (const auto& [operand, text] :
       {std::pair{EntryOperand::Password, u"@file"}, {EntryOperand::Password, u"a\tb"},
        {EntryOperand::User, u"a\nb"}})
    EXPECT_FALSE(phonebook.CanStore(operand, text));
  EXPECT_FALSE(phonebook.CanStore(EntryOperand::Connection, std::u16string(128, u'\u00e9').c_str()));
  EXPECT_TRUE(phonebook.CanStore(EntryOperand::Password, u"a@b \"#$\\"));
}

TEST_F(PppPhonebookTest, WithoutThePppFoldersTheEntryStaysTheToolsOwn) {
  rmdir(scratch.Path("etc/chatscripts").c_str());
  ASSERT_EQ(Ras(u"Office", u"5551234", u"alice"), 0u);
  EXPECT_TRUE(phonebook.PppPeerSkipped());
  EXPECT_EQ(phonebook.ValidateEntryName(u"Office"), kErrorAlreadyExists);
  for (const char* file : {"etc/ppp/peers/Office", "etc/ppp/pap-secrets", "etc/ppp/chap-secrets"})
    EXPECT_NE(access(scratch.Path(file).c_str(), F_OK), 0) << file;
}

}  // namespace
}  // namespace halvorn
