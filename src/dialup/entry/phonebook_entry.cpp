#include "dialup/entry/phonebook_entry.h"

#include <algorithm>
#include <cstring>

#include "dialup/shortcut/connection_shortcut.h"
#include "dialup/entry/entry_name.h"
#include "dialup/entry/environment.h"
#include "dialup/entry/phonebook.h"
#include "dialup/entry/phonebook_path.h"
#include "dialup/entry/process_heap.h"
#include "profile/profile_writer.h"
#include "text/console.h"

namespace halvorn {

namespace {

// Room the entry's texts are copied with, terminator included.
constexpr size_t kPhoneNumberRoom = 128;
constexpr size_t kDeviceNameRoom = 128;
constexpr size_t kDeviceTypeRoom = 16;
constexpr int32_t kMaxConnectionChars = 256;  // + ".lnk" fills a 260-character name
constexpr int32_t kMaxModemChars = kDeviceNameRoom - 1;
constexpr int32_t kMaxPhoneNumberChars = kPhoneNumberRoom - 1;
constexpr int32_t kMaxUserChars = 256;
constexpr int32_t kMaxPasswordChars = 256;

// Frees a record block on every way out.
class HeapBlock {
 public:
  HeapBlock(ProcessHeap& heap, size_t bytes) : m_rHeap(heap), m_pBlock(heap.AllocateZeroed(bytes)) {}
  ~HeapBlock() {
    if (m_pBlock != nullptr) m_rHeap.Free(m_pBlock);
  }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  void* Get() const { return m_pBlock; }

 private:
  ProcessHeap& m_rHeap;
  void* m_pBlock;
};

// Copies text into a fixed field, cut to fit room characters with its
// terminator (the whole field by default).
template <size_t N>
void CopyBounded(char16_t (&field)[N], const WideString& text, size_t room = N) {
  const size_t count = std::min(static_cast<size_t>(text.GetLength()), std::min(room, N) - 1);
  std::copy_n(text.c_str(), count, field);
  field[count] = u'\0';
}

bool IsDash(const WideString& user) { return user.View() == u"-"; }

// The name of the first operand that does not fit its record field, or null.
const char16_t* TooLongOperand(const WideString& connection, const WideString& modem,
                               const WideString& phoneNumber, const WideString& user,
                               const WideString& password) {
  if (connection.GetLength() > kMaxConnectionChars) return u"connection";
  if (modem.GetLength() > kMaxModemChars) return u"modem";
  if (phoneNumber.GetLength() > kMaxPhoneNumberChars) return u"phonenumber";
  if (user.GetLength() > kMaxUserChars) return u"user";
  // The password is never read when the user is "-".
  if (!IsDash(user) && password.GetLength() > kMaxPasswordChars) return u"password";
  return nullptr;
}

// The name of the first operand the phonebook cannot store, or null.
const char16_t* UnstorableOperand(Phonebook& phonebook, const WideString& connection,
                                  const WideString& modem, const WideString& phoneNumber,
                                  const WideString& user, const WideString& password,
                                  const WideString& baudRate) {
  if (!phonebook.CanStore(EntryOperand::Connection, connection.c_str())) return u"connection";
  if (!phonebook.CanStore(EntryOperand::Modem, modem.c_str())) return u"modem";
  if (!phonebook.CanStore(EntryOperand::PhoneNumber, phoneNumber.c_str())) return u"phonenumber";
  if (!phonebook.CanStore(EntryOperand::User, user.c_str())) return u"user";
  if (!IsDash(user) && !phonebook.CanStore(EntryOperand::Password, password.c_str()))
    return u"password";
  if (!phonebook.CanStore(EntryOperand::BaudRate, baudRate.c_str())) return u"baudrate";
  return nullptr;
}

// A reported size that is 0 (a failed query) or too small to hold the fields
// the tool sets is replaced by the record's own size.
uint32_t UsableRecordSize(uint32_t reported) {
  return reported < kRasEntryMinimumSize ? kRasEntryRecordSize : reported;
}

RasEntryRecord FilledEntryRecord(uint32_t size, const WideString& modem,
                                 const WideString& phoneNumber) {
  RasEntryRecord record{};
  record.dwSize = size;
  record.dwfOptions = kRaseoIpHeaderCompression | kRaseoRemoteDefaultGateway;
  record.dwfNetProtocols = kRasnpIp;
  record.dwFramingProtocol = kRasfpPpp;
  record.dwType = kRasetPhone;
  record.dwEncryptionType = kEtOptional;
  record.dwfOptions2 = kRaseo2SecureFileAndPrint | kRaseo2SecureClientForMSNet;
  CopyBounded(record.szLocalPhoneNumber, phoneNumber, kPhoneNumberRoom);
  CopyBounded(record.szDeviceType, WideString(u"modem"), kDeviceTypeRoom);
  CopyBounded(record.szDeviceName, modem, kDeviceNameRoom);
  return record;
}

constexpr const char16_t* kSpeedKeys[] = {u"PreferredBps", u"ConnectBps"};

// Whether both speed keys with value can go into the entry's section of file
// (null: of any file).
bool SpeedKeysFit(ProfileWriter& writer, const WideString& connection, const char16_t* value,
                  const char16_t* file) {
  for (const char16_t* key : kSpeedKeys)
    if (!writer.CanHold(connection.c_str(), key, value, file)) return false;
  return true;
}

// The service's answer on the name, with the tool's own checks added, made
// before the phonebook file is looked for. The name is also the section of
// the speed keys: one the phonebook file cannot hold is refused as malformed,
// as no entry without its keys is wanted. A fresh machine has no phonebook
// file: the service cannot look the name up (621), and whether it checked the
// name's form before is not documented, so the tool checks the documented
// form itself before it takes the name as free.
uint32_t NameStatus(DialupServices& services, const WideString& connection) {
  uint32_t status = services.phonebook.ValidateEntryName(connection.c_str());
  if (status != 0 && status != kErrorCannotOpenPhonebook) return status;
  if (!SpeedKeysFit(services.profileWriter, connection, u"", nullptr) ||
      (status != 0 && !HasDocumentedEntryNameForm(connection.View())))
    return kErrorInvalidName;
  return status != 0 && services.phonebook.IsDefaultPhonebookMissing() ? 0 : status;
}

// Writes the two speed keys into the entry's section of the all-users
// phonebook file; a failed first write does not hold back the second. Returns
// 0 or the platform's code of the first failure.
uint32_t WriteSpeedKeys(DialupServices& services, const WideString& connection,
                        const WideString& baudRate, const char16_t* fileName) {
  uint32_t firstError = 0;
  for (const char16_t* key : kSpeedKeys) {
    if (!services.profileWriter.WriteString(connection.c_str(), key, baudRate.c_str(), fileName) &&
        firstError == 0) {
      const uint32_t error = services.profileWriter.LastError();
      firstError = error != 0 ? error : kErrorCannotWritePhonebook;
    }
  }
  return firstError;
}

uint32_t StoreCredentials(Phonebook& phonebook, const WideString& connection,
                          const WideString& user, const WideString& password) {
  RasCredentialsRecord credentials{};
  credentials.dwSize = kRasCredentialsRecordSize;
  credentials.dwMask = kRascmUserName | kRascmPassword;
  if (!IsDash(user)) {
    CopyBounded(credentials.szUserName, user);
    CopyBounded(credentials.szPassword, password);
  }
  const uint32_t status = phonebook.SetCredentials(connection.c_str(), credentials);
  // The password does not outlive its use in this frame.
  volatile char16_t* secret = credentials.szPassword;
  for (size_t i = 0; i < kRasPasswordChars; ++i) secret[i] = 0;
  return status;
}

}  // namespace

void ShellShortcutMaker::CreateShortcut(const char16_t* linkFileName, const char16_t* entryName) {
  CreateConnectionShortcut(m_rShell, m_rConsole, linkFileName, entryName);
}

int32_t CreatePhonebookEntry(DialupServices& services, const WideString& connection,
                             const WideString& modem, const WideString& phoneNumber,
                             const WideString& user, const WideString& password,
                             const WideString& baudRate, bool wantShortcut) {
  if (const char16_t* name = TooLongOperand(connection, modem, phoneNumber, user, password)) {
    PrintWide(services.console, u"Argument too long: %s\n", {name});
    return kRasArgumentTooLong;
  }
  if (const char16_t* name = UnstorableOperand(services.phonebook, connection, modem, phoneNumber,
                                               user, password, baudRate)) {
    PrintWide(services.console, u"Argument not storable: %s\n", {name});
    return kRasArgumentTooLong;
  }

  uint32_t reportedSize = 0;
  services.phonebook.QueryEntrySize(reportedSize);  // its status says nothing more
  const uint32_t recordSize = UsableRecordSize(reportedSize);

  HeapBlock block(services.heap, recordSize);
  if (block.Get() == nullptr) {
    PrintNarrow(services.console, "HeapAlloc failed");
    return kRasOutOfMemory;
  }
  // The block may be smaller than the whole record (an older record version):
  // only its own bytes are filled, and they always hold every field set here.
  const RasEntryRecord record = FilledEntryRecord(recordSize, modem, phoneNumber);
  std::memcpy(block.Get(), &record, std::min<size_t>(recordSize, sizeof record));

  uint32_t nameStatus = NameStatus(services, connection);
  char16_t phonebookFile[kPhonebookPathChars] = {};
  uint32_t fileError = 0;
  if (nameStatus == 0) {
    fileError = services.environment.AllUsersPhonebookFile(phonebookFile, kPhonebookPathChars);
    // What this very file cannot hold (a character its code page lacks) is
    // known now too.
    if (fileError == 0 && !SpeedKeysFit(services.profileWriter, connection, u"", phonebookFile))
      nameStatus = kErrorInvalidName;
  }
  if (nameStatus != 0) {
    PrintWide(services.console, u"RasValidateEntryName failed: Error = %d\n",
              {static_cast<int32_t>(nameStatus)});
    return kRasNameRefused;
  }
  if (fileError == 0 &&
      !SpeedKeysFit(services.profileWriter, connection, baudRate.c_str(), phonebookFile)) {
    PrintWide(services.console, u"Argument not storable: %s\n", {u"baudrate"});
    return kRasArgumentTooLong;
  }
  const uint32_t setStatus =
      services.phonebook.SetEntryProperties(connection.c_str(), block.Get(), recordSize);
  if (setStatus != 0) {
    PrintWide(services.console, u"RasSetEntryProperties failed: Error = %d\n",
              {static_cast<int32_t>(setStatus)});
    return kRasEntryNotWritten;
  }

  const uint32_t speedKeysError =
      fileError != 0 ? fileError : WriteSpeedKeys(services, connection, baudRate, phonebookFile);
  if (speedKeysError != 0)
    PrintWide(services.console, u"Phonebook file not written: Error = %d\n",
              {static_cast<int32_t>(speedKeysError)});

  int32_t result =
      static_cast<int32_t>(StoreCredentials(services.phonebook, connection, user, password));

  if (wantShortcut) {
    WideString linkFileName(connection);
    linkFileName.Append(u".lnk");
    services.shortcutMaker.CreateShortcut(linkFileName.c_str(), connection.c_str());
  }

  if (result == 0 && speedKeysError != 0) result = kRasPhonebookFileNotWritten;
  return result;
}

int32_t ReadPhonebookEntry(Phonebook& phonebook, ProcessHeap& heap, const WideString& connection) {
  uint32_t size = 0;
  phonebook.QueryEntrySize(size);
  size = UsableRecordSize(size);
  // The block is never smaller than the size the service is told it has. It
  // comes from the heap, which refuses a size no process can hold (a broken
  // service may report one) instead of failing the whole program.
  HeapBlock block(heap, std::max(size, kRasEntryRecordSize));
  if (block.Get() == nullptr) return kRasOutOfMemory;
  std::memcpy(block.Get(), &size, sizeof size);  // dwSize
  return static_cast<int32_t>(phonebook.GetEntryProperties(connection.c_str(), block.Get(), size));
}

}  // namespace halvorn
