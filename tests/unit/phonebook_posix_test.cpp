#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dialup/environment_posix.h"
#include "dialup/phonebook_path.h"
#include "dialup/phonebook_posix.h"
#include "text/code_page.h"
#include "text/console.h"
#include "fakes/scratch_folder.h"

namespace halvorn {
namespace {

using testing::ScratchFolder;

RasEntryRecord Entry(const std::u16string& phoneNumber, const std::u16string& device) {
  RasEntryRecord record{};
  record.dwSize = kRasEntryRecordSize;
  record.dwfOptions = 0x18;
  record.dwfNetProtocols = 4;
  record.dwFramingProtocol = 1;
  record.dwType = 1;
  record.dwEncryptionType = 3;
  record.dwfOptions2 = 3;
  phoneNumber.copy(record.szLocalPhoneNumber, phoneNumber.size());
  std::u16string(u"modem").copy(record.szDeviceType, 5);
  device.copy(record.szDeviceName, device.size());
  return record;
}

RasCredentialsRecord Credentials(const std::u16string& user, const std::u16string& password) {
  RasCredentialsRecord record{};
  record.dwSize = kRasCredentialsRecordSize;
  record.dwMask = 3;
  user.copy(record.szUserName, user.size());
  password.copy(record.szPassword, password.size());
  return record;
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

class PosixPhonebookTest : public ::testing::Test {
 protected:
  uint32_t Add(const char16_t* name, const std::u16string& phone = u"5551234") {
    const RasEntryRecord record = Entry(phone, u"USR 56K");
    return phonebook.SetEntryProperties(name, &record, sizeof record);
  }

  ScratchFolder scratch;
  PosixPhonebook phonebook{scratch.Path("rasphone.pbk")};
};

TEST(EntryName, RulesOfTheService) {
  for (const char16_t* good : {u"Office", u"a", u"7", u"My ISP (2)", u"x.y", u"a b", u"ÆØÅ",
                               u"über-net", u"a=b", u"a;b", u"#1"})
    EXPECT_TRUE(IsWellFormedEntryName(good)) << EncodeUtf8(good);
  for (const char16_t* bad : {u"", u"../x", u"a/b", u".hidden", u"x]y", u"[x", u"a:b", u"a|b",
                              u"a>b", u"a<b", u"a?b", u"a*b", u"a\\b", u"a\tb", u"a\nb",
                              u"---", u"  ", u" Office", u"Office ", u"\xD800x"})
    EXPECT_FALSE(IsWellFormedEntryName(bad)) << EncodeUtf8(bad);
  EXPECT_TRUE(IsWellFormedEntryName(std::u16string(256, u'n').c_str()));
  EXPECT_FALSE(IsWellFormedEntryName(std::u16string(257, u'n').c_str()));
  EXPECT_FALSE(IsWellFormedEntryName(nullptr));
}

TEST_F(PosixPhonebookTest, RefusedNamesCreateNothing) {
  const std::string nested = scratch.Path("new/folder/rasphone.pbk");
  PosixPhonebook fresh(nested);
  for (const char16_t* bad : {u"../x", u"a/b", u".hidden", u"x]y"}) {
    EXPECT_EQ(fresh.ValidateEntryName(bad), kErrorInvalidName);
    const RasEntryRecord record = Entry(u"1", u"m");
    EXPECT_EQ(fresh.SetEntryProperties(bad, &record, sizeof record), kErrorInvalidName);
  }
  EXPECT_TRUE(scratch.Names().empty());
}

TEST_F(PosixPhonebookTest, EntryRoundTripsThroughItsSection) {
  EXPECT_EQ(phonebook.ValidateEntryName(u"Office"), 0u);
  EXPECT_TRUE(scratch.Names().empty()) << "validation writes nothing";
  ASSERT_EQ(Add(u"Office"), 0u);
  for (const char16_t* same : {u"Office", u"OFFICE", u"office"})
    EXPECT_EQ(phonebook.ValidateEntryName(same), kErrorAlreadyExists);
  EXPECT_EQ(phonebook.ValidateEntryName(u"Office2"), 0u);

  const std::string text = ScratchFolder::Read(phonebook.PhonebookPath());
  for (const char* line : {"[Office]", "PhoneNumber=5551234", "DeviceType=modem",
                           "DeviceName=USR 56K", "Type=1", "Options=24", "NetProtocols=4",
                           "FramingProtocol=1", "EncryptionType=3", "Options2=3"})
    EXPECT_NE(text.find(line), std::string::npos) << line;

  RasEntryRecord read{};
  read.dwSize = kRasEntryRecordSize;
  uint32_t size = sizeof read;
  ASSERT_EQ(phonebook.GetEntryProperties(u"office", &read, size), 0u);
  const RasEntryRecord written = Entry(u"5551234", u"USR 56K");
  EXPECT_EQ(std::memcmp(&read, &written, sizeof read), 0);
}

TEST_F(PosixPhonebookTest, OtherSectionsAndKeysStay) {
  const std::string before =
      "; kept\r\n[Home]\r\nPhoneNumber=111\r\n\r\n[Office]\r\nPreferredBps=9600\r\nCustom=yes\r\n";
  ScratchFolder::Write(phonebook.PhonebookPath(), before);
  ASSERT_EQ(Add(u"Office"), 0u);
  const std::string after = ScratchFolder::Read(phonebook.PhonebookPath());
  EXPECT_EQ(after.compare(0, 50, before, 0, 50), 0) << after;
  EXPECT_NE(after.find("PreferredBps=9600\r\n"), std::string::npos);
  EXPECT_NE(after.find("Custom=yes\r\n"), std::string::npos);
  EXPECT_NE(after.find("Options2=3\r\n"), std::string::npos);
}

TEST_F(PosixPhonebookTest, SizesAreChecked) {
  uint32_t size = 0;
  EXPECT_EQ(phonebook.QueryEntrySize(size), kErrorBufferTooSmall);
  EXPECT_EQ(size, kRasEntryRecordSize);

  RasEntryRecord record = Entry(u"1", u"m");
  record.dwSize = 4000;
  EXPECT_EQ(phonebook.SetEntryProperties(u"Office", &record, sizeof record), kErrorInvalidSize);
  record.dwSize = kRasEntryRecordSize;
  EXPECT_EQ(phonebook.SetEntryProperties(u"Office", &record, 100), kErrorInvalidSize);
  ASSERT_EQ(phonebook.SetEntryProperties(u"Office", &record, sizeof record), 0u);

  size = 100;
  EXPECT_EQ(phonebook.GetEntryProperties(u"Office", &record, size), kErrorBufferTooSmall);
  EXPECT_EQ(size, kRasEntryRecordSize);
  record.dwSize = 0;
  EXPECT_EQ(phonebook.GetEntryProperties(u"Office", &record, size), kErrorInvalidSize);
  auto credentials = Credentials(u"a", u"b");
  credentials.dwSize = 1000;
  EXPECT_EQ(phonebook.SetCredentials(u"Office", credentials), kErrorInvalidSize);
}

TEST_F(PosixPhonebookTest, MissingEntriesAndUnstorableTexts) {
  RasEntryRecord record{};
  record.dwSize = kRasEntryRecordSize;
  uint32_t size = sizeof record;
  EXPECT_EQ(phonebook.GetEntryProperties(u"Nobody", &record, size), kErrorCannotFindPhonebookEntry);
  EXPECT_EQ(phonebook.SetCredentials(u"Nobody", Credentials(u"a", u"b")),
            kErrorCannotFindPhonebookEntry);
  ASSERT_EQ(Add(u"Office"), 0u);
  record.dwSize = kRasEntryRecordSize;
  EXPECT_EQ(phonebook.GetEntryProperties(u"Nobody", &record, size), kErrorCannotFindPhonebookEntry);
  EXPECT_EQ(phonebook.SetCredentials(u"Nobody", Credentials(u"a", u"b")),
            kErrorCannotFindPhonebookEntry);
  // A line end in a value would break the file's layout.
  EXPECT_EQ(Add(u"Other", u"555\r\n[Office]"), kErrorInvalidParameter);
  EXPECT_EQ(phonebook.SetCredentials(u"Office", Credentials(u"a", u"x\ny")), kErrorInvalidParameter);
  EXPECT_EQ(phonebook.ValidateEntryName(u"Other"), 0u);
}

TEST_F(PosixPhonebookTest, CredentialsLiveApartAndPrivate) {
  ASSERT_EQ(Add(u"Office"), 0u);
  ASSERT_EQ(phonebook.SetCredentials(u"Office", Credentials(u"alice", u"s3cret")), 0u);
  EXPECT_EQ(ModeOf(phonebook.CredentialsPath()), 0600u);
  const std::string secrets = ScratchFolder::Read(phonebook.CredentialsPath());
  EXPECT_NE(secrets.find("[Office]"), std::string::npos);
  EXPECT_NE(secrets.find("UserName=alice"), std::string::npos);
  EXPECT_NE(secrets.find("Password=s3cret"), std::string::npos);
  EXPECT_EQ(ScratchFolder::Read(phonebook.PhonebookPath()).find("s3cret"), std::string::npos);

  // Replacing them keeps one key each; empty credentials are stored as such.
  ASSERT_EQ(phonebook.SetCredentials(u"OFFICE", Credentials(u"", u"")), 0u);
  const std::string replaced = ScratchFolder::Read(phonebook.CredentialsPath());
  EXPECT_EQ(replaced.find("s3cret"), std::string::npos) << replaced;
  EXPECT_NE(replaced.find("UserName=\r\n"), std::string::npos) << replaced;

  // A credentials file others could read is closed again.
  chmod(phonebook.CredentialsPath().c_str(), 0644);
  ASSERT_EQ(phonebook.SetCredentials(u"Office", Credentials(u"bob", u"pw")), 0u);
  EXPECT_EQ(ModeOf(phonebook.CredentialsPath()), 0600u);
}

TEST_F(PosixPhonebookTest, MissingFoldersAreCreatedPrivate) {
  const std::string root = scratch.Path("all users");
  PosixPhonebook nested(root + "/a/b/rasphone.pbk");
  const RasEntryRecord record = Entry(u"1", u"m");
  ASSERT_EQ(nested.SetEntryProperties(u"Office", &record, sizeof record), 0u);
  EXPECT_EQ(ModeOf(root), 0700u);
  EXPECT_EQ(ModeOf(root + "/a/b"), 0700u);
  std::filesystem::remove_all(root);
}

TEST_F(PosixPhonebookTest, UnreadableOrUnwritablePhonebook) {
  if (geteuid() == 0) GTEST_SKIP() << "file modes do not bind root";
  ASSERT_EQ(Add(u"Office"), 0u);
  chmod(phonebook.PhonebookPath().c_str(), 0);
  EXPECT_EQ(phonebook.ValidateEntryName(u"Other"), kErrorCannotOpenPhonebook);
  RasEntryRecord record{};
  record.dwSize = kRasEntryRecordSize;
  uint32_t size = sizeof record;
  EXPECT_EQ(phonebook.GetEntryProperties(u"Office", &record, size), kErrorCannotOpenPhonebook);
  chmod(phonebook.PhonebookPath().c_str(), 0644);
  chmod(scratch.Path().c_str(), 0500);
  EXPECT_EQ(Add(u"Other"), kErrorCannotWritePhonebook);
  chmod(scratch.Path().c_str(), 0700);
}

TEST_F(PosixPhonebookTest, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([this, t] {
      PosixPhonebook own(phonebook.PhonebookPath());
      for (int i = 0; i < 10; ++i) {
        const std::u16string name = u"E" + std::u16string(1, static_cast<char16_t>(u'a' + t)) +
                                    std::u16string(1, static_cast<char16_t>(u'0' + i));
        const RasEntryRecord record = Entry(u"1", u"m");
        EXPECT_EQ(own.SetEntryProperties(name.c_str(), &record, sizeof record), 0u);
        EXPECT_EQ(own.SetCredentials(name.c_str(), Credentials(u"u", u"p")), 0u);
      }
    });
  for (std::thread& writer : writers) writer.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 10; ++i) {
      const std::u16string name = u"E" + std::u16string(1, static_cast<char16_t>(u'a' + t)) +
                                  std::u16string(1, static_cast<char16_t>(u'0' + i));
      EXPECT_EQ(phonebook.ValidateEntryName(name.c_str()), kErrorAlreadyExists);
    }
  const std::string secrets = ScratchFolder::Read(phonebook.CredentialsPath());
  size_t sections = 0;
  for (size_t at = secrets.find('['); at != std::string::npos; at = secrets.find('[', at + 1))
    ++sections;
  EXPECT_EQ(sections, 40u);
}

class PosixEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* saved = std::getenv("ALLUSERSPROFILE");
    m_bHadValue = saved != nullptr;
    if (m_bHadValue) m_strSaved = saved;
  }
  void TearDown() override {
    if (m_bHadValue)
      setenv("ALLUSERSPROFILE", m_strSaved.c_str(), 1);
    else
      unsetenv("ALLUSERSPROFILE");
    unsetenv("HALVORN_TEST_VALUE");
  }
  static std::string Expand(const char16_t* text, uint32_t capacity = 260,
                            uint32_t* error = nullptr) {
    std::u16string buffer(capacity, u'\0');
    std::u16string(text).copy(buffer.data(), std::u16string(text).size());
    PosixEnvironment environment;
    const uint32_t status = environment.ExpandInPlace(buffer.data(), capacity);
    if (error != nullptr) *error = status;
    return EncodeUtf8(buffer.c_str());
  }

 private:
  bool m_bHadValue = false;
  std::string m_strSaved;
};

TEST_F(PosixEnvironmentTest, PhonebookNameExpandsToThePhonebookPath) {
  for (const char* folder : std::initializer_list<const char*>{"/tmp/all users", "/tmp/x/", "/srv//pbk//", nullptr, ""}) {
    if (folder == nullptr)
      unsetenv("ALLUSERSPROFILE");
    else
      setenv("ALLUSERSPROFILE", folder, 1);
    EXPECT_EQ(Expand(kPhonebookFileName), PosixPhonebookPath()) << (folder ? folder : "unset");
  }
  unsetenv("ALLUSERSPROFILE");
  EXPECT_EQ(Expand(kPhonebookFileName),
            "/var/lib/halvorn/Application Data/Microsoft/Network/Connections/Pbk/rasphone.pbk");
}

TEST_F(PosixEnvironmentTest, ReferencesAsTheWindowsExpansionTreatsThem) {
  setenv("HALVORN_TEST_VALUE", "v\xC3\xA9", 1);
  EXPECT_EQ(Expand(u"a%HALVORN_TEST_VALUE%b"), "av\xC3\xA9" "b");
  EXPECT_EQ(Expand(u"%HALVORN_UNSET_NAME%/x"), "%HALVORN_UNSET_NAME%/x");
  EXPECT_EQ(Expand(u"100%%HALVORN_TEST_VALUE%"), "100%v\xC3\xA9");
  EXPECT_EQ(Expand(u"50% off"), "50% off");

  // A result that does not fit leaves the buffer as it was.
  setenv("HALVORN_TEST_VALUE", std::string(259, 'v').c_str(), 1);
  uint32_t error = 0;
  EXPECT_EQ(Expand(u"%HALVORN_TEST_VALUE%", 260, &error), std::string(259, 'v'));
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(Expand(u"/%HALVORN_TEST_VALUE%", 260, &error), "/%HALVORN_TEST_VALUE%");
  EXPECT_NE(error, 0u);
}

}  // namespace
}  // namespace halvorn
