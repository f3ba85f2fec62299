// Creating and reading a phonebook entry against fake services that log every
// call in one shared, ordered log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialup/entry/phonebook_entry.h"
#include "fakes/fake_console.h"
#include "fakes/fake_phonebook.h"
#include "profile/profile_writer.h"

namespace halvorn {
namespace {

using Log = std::vector<std::string>;

// The profile writer (failing at failKey) and the shortcut maker, both logging.
class LoggingWriterAndShortcuts final : public ProfileWriter, public ShortcutMaker {
 public:
  explicit LoggingWriterAndShortcuts(Log& log) : m_log(log) {}
  std::u16string failKey;

  bool WriteString(const char16_t* section, const char16_t* key, const char16_t* value,
                   const char16_t*) override {
    m_log.push_back("WriteString " + EncodeUtf8(section) + " " + EncodeUtf8(key) + "=" + EncodeUtf8(value));
    return failKey != key;
  }
  uint32_t LastError() override { return 5; }
  void CreateShortcut(const char16_t* linkFileName, const char16_t* entryName) override {
    m_log.push_back("CreateShortcut " + EncodeUtf8(linkFileName) + " " + EncodeUtf8(entryName));
  }

 private:
  Log& m_log;
};

struct Operands {
  std::u16string connection = u"Office", modem = u"USR 56K", phoneNumber = u"5551234",
                 user = u"alice", password = u"s3cret", baudRate = u"57600";
};

// Every call of a run with a shortcut that goes well.
const Log kAllCalls = {"QueryEntrySize 0", "AllocateZeroed 5616", "ValidateEntryName Office",
                       "AllUsersPhonebookFile 260", "SetEntryProperties Office 5616",
                       "WriteString Office PreferredBps=57600", "WriteString Office ConnectBps=57600",
                       "SetCredentials Office", "CreateShortcut Office.lnk Office", "Free"};

class CreatePhonebookEntryTest : public ::testing::Test {
 protected:
  int32_t Run(const Operands& o = Operands()) {
    log.clear();
    console.transcript.clear();
    DialupServices services{console, phonebook, environment, heap, writer, writer};
    const int32_t result = CreatePhonebookEntry(
        services, WideString(o.connection), WideString(o.modem), WideString(o.phoneNumber),
        WideString(o.user), WideString(o.password), WideString(o.baudRate), true);
    EXPECT_EQ(heap.liveBlocks, 0) << "the entry record is freed on every path";
    return result;
  }

  Log log;
  testing::FakeConsole console;
  testing::FakePhonebook phonebook{log};
  testing::FakeEnvironment environment{log};
  testing::FakeProcessHeap heap{log};
  LoggingWriterAndShortcuts writer{log};
};

// What the real binaries do not reach (tests/wine/ras.sh, tests/e2e/ras.sh).
TEST_F(CreatePhonebookEntryTest, EveryOutcomeHasItsResultMessageAndCalls) {
  const std::string notWritten = "Phonebook file not written: Error = ";
  struct Case {
    bool heapFails;
    uint32_t set, file;
    std::u16string failKey;
    uint32_t credentials;
    int32_t result;
    std::string output;
    size_t made;  // calls made of kAllCalls; after an early stop only the free follows
    int writes;   // speed keys attempted: both, once the file is known
  } cases[] = {
      {true, 0, 0, u"", 0, -3, "HeapAlloc failed", 2, 0},
      {false, 0x80070005u, 0, u"", 0, -2, "RasSetEntryProperties failed: Error = -2147024891\n", 5, 0},
      // Later failures keep what was written; the credential status is passed through.
      {false, 0, 0, u"", 623, 623, "", 10, 2},
      {false, 0, 0, u"ConnectBps", 0, -5, notWritten + "5\n", 10, 2},
      {false, 0, 122, u"", 87, 87, notWritten + "122\n", 10, 0},
  };
  for (const Case& c : cases) {
    heap.fails = c.heapFails;
    phonebook.setStatus = c.set;
    environment.error = c.file;
    writer.failKey = c.failKey;
    phonebook.credentialsStatus = c.credentials;
    EXPECT_EQ(Run(), c.result) << c.output;
    EXPECT_EQ(console.transcript, c.output);
    Log expected;
    int writes = 0;
    for (size_t i = 0; i < c.made; ++i)
      if (kAllCalls[i].rfind("WriteString", 0) != 0 || writes++ < c.writes) expected.push_back(kAllCalls[i]);
    if (c.made < kAllCalls.size() && !c.heapFails) expected.push_back("Free");
    EXPECT_EQ(log, expected) << c.output;
  }
}

// What is too long is refused before anything is written, so a corrected run
// can create the entry (what cannot be stored: tests/e2e/hostile_files.sh, ppp.sh).
TEST_F(CreatePhonebookEntryTest, OverlongOperandsAreRefusedBeforeAnything) {
  struct Case {
    std::u16string Operands::*field;
    size_t longest;  // characters that still fit
    const char* name;
  } cases[] = {{&Operands::connection, 256, "connection"}, {&Operands::modem, 127, "modem"},
               {&Operands::phoneNumber, 127, "phonenumber"}, {&Operands::user, 256, "user"},
               {&Operands::password, 256, "password"}};
  Operands longest;
  for (const Case& c : cases) {
    longest.*c.field = std::u16string(c.longest, u'7');
    Operands operands;
    operands.*c.field = std::u16string(c.longest + 1, u'7');
    EXPECT_EQ(Run(operands), -4) << c.name;
    EXPECT_EQ(console.transcript, std::string("Argument too long: ") + c.name + "\n");
    EXPECT_TRUE(log.empty()) << c.name;
  }
  // All at their longest arrive whole.
  ASSERT_EQ(Run(longest), 0);
  EXPECT_EQ(std::u16string(phonebook.record.szLocalPhoneNumber), longest.phoneNumber);
  EXPECT_EQ(std::u16string(phonebook.credentials.szPassword), longest.password);
  EXPECT_EQ(log[log.size() - 2], "CreateShortcut " + std::string(256, '7') + ".lnk " + std::string(256, '7'));
}

// The status of a missing entry and an absurd size are checked through the
// Windows build (tests/wine/ras.sh); here a service that reports no size.
TEST(ReadPhonebookEntry, PassesTheStatusAndNeverOverflows) {
  Log log;
  testing::FakePhonebook phonebook(log);
  testing::FakeProcessHeap heap(log);
  phonebook.reportedSize = 0;
  phonebook.getStatus = 632;
  EXPECT_EQ(ReadPhonebookEntry(phonebook, heap, WideString(u"Office")), 632);
  EXPECT_EQ(log, (Log{"QueryEntrySize 0", "AllocateZeroed 5616", "GetEntryProperties Office 5616", "Free"}));
  EXPECT_EQ(phonebook.getDeclaredSize, 5616u);  // the block's dwSize
}

}  // namespace
}  // namespace halvorn
