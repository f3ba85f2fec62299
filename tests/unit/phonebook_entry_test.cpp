#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialup/phonebook_entry.h"
#include "dialup/phonebook_path.h"
#include "fakes/fake_console.h"
#include "fakes/fake_environment.h"
#include "fakes/fake_phonebook.h"
#include "fakes/fake_process_heap.h"
#include "profile/profile_writer.h"

namespace halvorn {
namespace {

using testing::FakeConsole;
using testing::FakeEnvironment;
using testing::FakePhonebook;
using testing::FakeProcessHeap;
using Log = std::vector<std::string>;

class LoggingProfileWriter final : public ProfileWriter {
 public:
  explicit LoggingProfileWriter(Log& log) : m_log(log) {}
  std::u16string failKey;
  uint32_t failureCode = 5;
  std::u16string fileName;

  bool WriteString(const char16_t* section, const char16_t* key, const char16_t* value,
                   const char16_t* file) override {
    m_log.push_back("WriteString " + EncodeUtf8(section) + " " + EncodeUtf8(key) + "=" +
                    EncodeUtf8(value));
    fileName = file;
    m_dwError = failKey == key ? failureCode : 0;
    return m_dwError == 0;
  }
  uint32_t LastError() override { return m_dwError; }

 private:
  Log& m_log;
  uint32_t m_dwError = 0;
};

class LoggingShortcutMaker final : public ShortcutMaker {
 public:
  explicit LoggingShortcutMaker(Log& log) : m_log(log) {}
  void CreateShortcut(const char16_t* linkFileName, const char16_t* entryName) override {
    m_log.push_back("CreateShortcut " + EncodeUtf8(linkFileName) + " " + EncodeUtf8(entryName));
  }

 private:
  Log& m_log;
};

struct Operands {
  std::u16string connection = u"Office";
  std::u16string modem = u"USR 56K";
  std::u16string phoneNumber = u"5551234";
  std::u16string user = u"alice";
  std::u16string password = u"s3cret";
  std::u16string baudRate = u"57600";
  bool wantShortcut = false;
};

class CreatePhonebookEntryTest : public ::testing::Test {
 protected:
  int32_t Run(const Operands& operands = Operands()) {
    DialupServices services{console, phonebook, environment, heap, profileWriter, shortcuts};
    const int32_t result = CreatePhonebookEntry(
        services, WideString(operands.connection), WideString(operands.modem),
        WideString(operands.phoneNumber), WideString(operands.user),
        WideString(operands.password), WideString(operands.baudRate), operands.wantShortcut);
    EXPECT_EQ(heap.liveBlocks, 0) << "the entry record is freed on every path";
    return result;
  }

  Log log;
  FakeConsole console;
  FakePhonebook phonebook{log};
  FakeEnvironment environment{log};
  FakeProcessHeap heap{log};
  LoggingProfileWriter profileWriter{log};
  LoggingShortcutMaker shortcuts{log};
};

TEST_F(CreatePhonebookEntryTest, WritesEntrySpeedKeysAndCredentialsInOrder) {
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(console.transcript, "");
  EXPECT_EQ(log, (Log{"QueryEntrySize 0", "AllocateZeroed 5616", "ValidateEntryName Office",
                      "SetEntryProperties Office 5616", "ExpandInPlace 260",
                      "WriteString Office PreferredBps=57600", "WriteString Office ConnectBps=57600",
                      "SetCredentials Office", "Free"}));
  EXPECT_EQ(environment.given, kPhonebookFileName);
  EXPECT_EQ(profileWriter.fileName, environment.expanded);
}

TEST_F(CreatePhonebookEntryTest, RecordHoldsExactlyTheTabledFields) {
  ASSERT_EQ(Run(), 0);
  RasEntryRecord expected{};
  expected.dwSize = 5616;
  expected.dwfOptions = 0x18;
  expected.dwfNetProtocols = 4;
  expected.dwFramingProtocol = 1;
  expected.dwType = 1;
  expected.dwEncryptionType = 3;
  expected.dwfOptions2 = 3;
  std::u16string(u"5551234").copy(expected.szLocalPhoneNumber, 7);
  std::u16string(u"modem").copy(expected.szDeviceType, 5);
  std::u16string(u"USR 56K").copy(expected.szDeviceName, 7);
  ASSERT_EQ(phonebook.recordBytes.size(), sizeof expected);
  EXPECT_EQ(std::memcmp(phonebook.recordBytes.data(), &expected, sizeof expected), 0);

  RasCredentialsRecord credentials{};
  credentials.dwSize = 1068;
  credentials.dwMask = 3;
  std::u16string(u"alice").copy(credentials.szUserName, 5);
  std::u16string(u"s3cret").copy(credentials.szPassword, 6);
  EXPECT_EQ(std::memcmp(&phonebook.credentials, &credentials, sizeof credentials), 0);
}

TEST_F(CreatePhonebookEntryTest, RecordSizeFollowsTheServiceWithinSafeBounds) {
  struct Case {
    uint32_t reported;
    uint32_t allocated;  // also dwSize and the size passed on
  };
  for (const Case& c : {Case{0, 5616}, Case{100, 5616}, Case{kRasEntryMinimumSize - 1, 5616},
                        Case{kRasEntryMinimumSize, kRasEntryMinimumSize}, Case{8000, 8000}}) {
    log.clear();
    phonebook.reportedSize = c.reported;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(log[1], "AllocateZeroed " + std::to_string(c.allocated)) << c.reported;
    EXPECT_EQ(phonebook.recordBytes.size(), c.allocated);
    EXPECT_EQ(phonebook.record.dwSize, c.allocated);
    EXPECT_EQ(phonebook.record.dwfOptions2, 3u);
    for (size_t i = sizeof(RasEntryRecord); i < phonebook.recordBytes.size(); ++i)
      ASSERT_EQ(phonebook.recordBytes[i], 0) << "byte " << i << " of a larger record";
  }
}

TEST_F(CreatePhonebookEntryTest, EarlyFailuresStopWithTheirMessage) {
  struct Case {
    const char* name;
    bool heapFails;
    uint32_t validate, set;
    int32_t result;
    const char* output;
    Log calls;
  };
  const Case cases[] = {
      {"heap", true, 0, 0, -3, "HeapAlloc failed", {"QueryEntrySize 0", "AllocateZeroed 5616"}},
      {"name taken", false, 183, 0, -1, "RasValidateEntryName failed: Error = 183\n",
       {"QueryEntrySize 0", "AllocateZeroed 5616", "ValidateEntryName Office", "Free"}},
      {"name malformed", false, 123, 0, -1, "RasValidateEntryName failed: Error = 123\n",
       {"QueryEntrySize 0", "AllocateZeroed 5616", "ValidateEntryName Office", "Free"}},
      {"entry not written", false, 0, 624, -2, "RasSetEntryProperties failed: Error = 624\n",
       {"QueryEntrySize 0", "AllocateZeroed 5616", "ValidateEntryName Office",
        "SetEntryProperties Office 5616", "Free"}},
      {"negative code", false, 0, 0x80070005u, -2,
       "RasSetEntryProperties failed: Error = -2147024891\n",
       {"QueryEntrySize 0", "AllocateZeroed 5616", "ValidateEntryName Office",
        "SetEntryProperties Office 5616", "Free"}},
  };
  for (const Case& c : cases) {
    log.clear();
    console.transcript.clear();
    heap.fails = c.heapFails;
    phonebook.validateStatus = c.validate;
    phonebook.setStatus = c.set;
    Operands operands;
    operands.wantShortcut = true;  // never made when the entry is not written
    EXPECT_EQ(Run(operands), c.result) << c.name;
    EXPECT_EQ(console.transcript, c.output) << c.name;
    EXPECT_EQ(log, c.calls) << c.name;
  }
}

TEST_F(CreatePhonebookEntryTest, LaterFailuresKeepWhatWasWritten) {
  struct Case {
    const char* name;
    uint32_t expandError;
    std::u16string failKey;
    uint32_t credentials;
    int32_t result;
    const char* output;
    int writes;
  };
  const Case cases[] = {
      {"credentials refused", 0, u"", 623, 623, "", 2},
      {"expansion failed", 122, u"", 0, -5, "Phonebook file not written: Error = 122\n", 0},
      {"first key refused", 0, u"PreferredBps", 0, -5,
       "Phonebook file not written: Error = 5\n", 1},
      {"second key refused", 0, u"ConnectBps", 0, -5,
       "Phonebook file not written: Error = 5\n", 2},
      {"both failed: credential status wins", 122, u"", 87, 87,
       "Phonebook file not written: Error = 122\n", 0},
  };
  for (const Case& c : cases) {
    log.clear();
    console.transcript.clear();
    environment.error = c.expandError;
    profileWriter.failKey = c.failKey;
    phonebook.credentialsStatus = c.credentials;
    Operands operands;
    operands.wantShortcut = true;
    EXPECT_EQ(Run(operands), c.result) << c.name;
    EXPECT_EQ(console.transcript, c.output) << c.name;
    int writes = 0;
    for (const std::string& call : log) writes += call.rfind("WriteString", 0) == 0;
    EXPECT_EQ(writes, c.writes) << c.name;
    // Credentials and the shortcut still come, in this order, before the free.
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "SetCredentials Office") << c.name;
    EXPECT_EQ(log[log.size() - 2], "CreateShortcut Office.lnk Office") << c.name;
    EXPECT_EQ(log.back(), "Free") << c.name;
  }
}

TEST_F(CreatePhonebookEntryTest, ShortcutOnlyWhenAsked) {
  Operands operands;
  EXPECT_EQ(Run(operands), 0);
  for (const std::string& call : log) EXPECT_EQ(call.find("CreateShortcut"), std::string::npos);
  log.clear();
  operands.wantShortcut = true;
  operands.connection = u"Dial Home";
  EXPECT_EQ(Run(operands), 0);
  EXPECT_EQ(log[log.size() - 2], "CreateShortcut Dial Home.lnk Dial Home");
}

TEST_F(CreatePhonebookEntryTest, OnlyALoneDashStoresEmptyCredentials) {
  struct Case {
    std::u16string user;
    std::u16string storedUser;
    std::u16string storedPassword;
  };
  for (const Case& c : {Case{u"-", u"", u""}, Case{u"--", u"--", u"pw"}, Case{u"-x", u"-x", u"pw"},
                        Case{u"", u"", u"pw"}}) {
    Operands operands;
    operands.user = c.user;
    operands.password = u"pw";
    EXPECT_EQ(Run(operands), 0);
    EXPECT_EQ(phonebook.credentials.dwMask, 3u);
    EXPECT_EQ(std::u16string(phonebook.credentials.szUserName), c.storedUser);
    EXPECT_EQ(std::u16string(phonebook.credentials.szPassword), c.storedPassword);
    EXPECT_EQ(phonebook.credentials.szDomain[0], u'\0');
  }
}

TEST_F(CreatePhonebookEntryTest, OverlongOperandsAreRefusedBeforeAnything) {
  struct Case {
    std::u16string Operands::*field;
    size_t longest;  // characters that still fit
    const char* name;
  };
  for (const Case& c : {Case{&Operands::connection, 256, "connection"},
                        Case{&Operands::modem, 127, "modem"},
                        Case{&Operands::phoneNumber, 127, "phonenumber"},
                        Case{&Operands::user, 256, "user"},
                        Case{&Operands::password, 256, "password"}}) {
    Operands operands;
    operands.*c.field = std::u16string(c.longest, u'7');
    log.clear();
    console.transcript.clear();
    EXPECT_EQ(Run(operands), 0) << c.name;

    operands.*c.field = std::u16string(c.longest + 1, u'7');
    log.clear();
    EXPECT_EQ(Run(operands), -4) << c.name;
    EXPECT_EQ(console.transcript, std::string("Argument too long: ") + c.name + "\n");
    EXPECT_TRUE(log.empty()) << c.name;
  }
  // The password is not read at all when the user is "-".
  Operands operands;
  operands.user = u"-";
  operands.password = std::u16string(5000, u'x');
  EXPECT_EQ(Run(operands), 0);
}

TEST_F(CreatePhonebookEntryTest, LongestOperandsArriveWhole) {
  Operands operands;
  operands.connection = std::u16string(256, u'c');
  operands.modem = std::u16string(127, u'm');
  operands.phoneNumber = std::u16string(127, u'9');
  operands.user = std::u16string(256, u'u');
  operands.password = std::u16string(256, u'p');
  operands.wantShortcut = true;
  ASSERT_EQ(Run(operands), 0);
  EXPECT_EQ(std::u16string(phonebook.record.szDeviceName), operands.modem);
  EXPECT_EQ(std::u16string(phonebook.record.szLocalPhoneNumber), operands.phoneNumber);
  EXPECT_EQ(std::u16string(phonebook.credentials.szUserName), operands.user);
  EXPECT_EQ(std::u16string(phonebook.credentials.szPassword), operands.password);
  EXPECT_EQ(log[log.size() - 2], "CreateShortcut " + std::string(256, 'c') + ".lnk " +
                                     std::string(256, 'c'));
}

TEST_F(CreatePhonebookEntryTest, BaudRateTextGoesUnchangedToBothKeys) {
  Operands operands;
  operands.baudRate = u"fast, please";
  EXPECT_EQ(Run(operands), 0);
  EXPECT_EQ(log[5], "WriteString Office PreferredBps=fast, please");
  EXPECT_EQ(log[6], "WriteString Office ConnectBps=fast, please");
}

TEST(ReadPhonebookEntry, PassesTheStatusAndNeverOverflows) {
  struct Case {
    uint32_t reported;
    uint32_t status;
    uint32_t size;  // buffer size and dwSize as the service receives them
  };
  for (const Case& c : {Case{5616, 0, 5616}, Case{5616, 623, 5616}, Case{0, 632, 5616},
                        Case{9000, 0, 9000}}) {
    Log log;
    FakePhonebook phonebook(log);
    phonebook.reportedSize = c.reported;
    phonebook.getStatus = c.status;
    EXPECT_EQ(ReadPhonebookEntry(phonebook, WideString(u"Office")),
              static_cast<int32_t>(c.status));
    EXPECT_EQ(log, (Log{"QueryEntrySize 0", "GetEntryProperties Office " + std::to_string(c.size)}));
    EXPECT_EQ(phonebook.getDeclaredSize, c.size);
  }
}

}  // namespace
}  // namespace halvorn
