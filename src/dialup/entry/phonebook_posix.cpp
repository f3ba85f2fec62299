#include "dialup/entry/phonebook_posix.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "dialup/pppd/ppp_connection_posix.h"
#include "dialup/pppd/ppp_secrets_posix.h"
#include "profile/ini_text.h"
#include "profile/locked_file_posix.h"
#include "profile/profile_writer_posix.h"
#include "text/ascii.h"
#include "text/code_page.h"
#include "text/utf8.h"
#include "text/wide_string.h"

namespace halvorn {

namespace {

constexpr size_t kMaxEntryNameChars = 256;
// pppd keeps names and secrets in 256-byte buffers, terminator included; a
// file name holds 255 bytes.
constexpr size_t kMaxPppBytes = 255;
// Like the all-users phonebook on Windows, the entries are for every user to
// read; only the credentials file in the same folder is its owner's alone.
constexpr mode_t kFolderMode = 0755;
constexpr mode_t kPhonebookMode = 0644;
constexpr mode_t kCredentialsMode = 0600;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates every missing folder of path, each with mode 0755 (less what the
// umask takes away).
int CreateFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), kFolderMode) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

// The steps of the service that meet an errno value. Each reports it as the
// service reports that step's failure.
enum class ErrnoStep {
  kRead,               // a missing file is a missing entry (623), else 621
  kWrite,              // 624, whatever the reason, as for the phonebook
  kCheckSecretStore,   // before writing: 5 when the caller may not write the
                       // store; anything else is left for the write to meet
  kCheckPppFiles,      // before writing: 5 for any reason pppd's files could not be written
  kWriteSecretStore,   // 5 when the caller may not write the store, else 624
};

// The one mapping from an errno value to the RAS status the service returns.
uint32_t RasStatusFromErrno(int error, ErrnoStep step) {
  if (error == 0) return 0;
  const bool refused = error == EACCES || error == EPERM;
  switch (step) {
    case ErrnoStep::kRead:
      return error == ENOENT ? kErrorCannotFindPhonebookEntry : kErrorCannotOpenPhonebook;
    case ErrnoStep::kWrite:
      return kErrorCannotWritePhonebook;
    case ErrnoStep::kCheckSecretStore:
      return refused ? kErrorAccessDenied : 0;
    case ErrnoStep::kCheckPppFiles:
      return kErrorAccessDenied;
    case ErrnoStep::kWriteSecretStore:
      return refused ? kErrorAccessDenied : kErrorCannotWritePhonebook;
  }
  return kErrorCannotWritePhonebook;
}

// Values go on one line of the file: no control characters, nothing that
// cannot be written as UTF-8.
bool IsStorableValue(std::u16string_view text) {
  for (char16_t unit : text)
    if (unit < 0x20 || unit == 0x7F) return false;
  return !HasLoneSurrogate(text);
}

// The text of a fixed record field up to its terminator, as stored (quoted
// where the file would lose blanks); none when the field holds no terminator
// or text the file cannot keep.
template <size_t N>
std::optional<std::string> FieldText(const char16_t (&field)[N]) {
  const char16_t* end = std::find(field, field + N, u'\0');
  if (end == field + N) return std::nullopt;
  const std::u16string_view text(field, static_cast<size_t>(end - field));
  if (!IsStorableValue(text)) return std::nullopt;
  return ini::QuoteValue(EncodeUtf8(text));
}

template <size_t N>
void SetField(char16_t (&field)[N], const std::optional<std::string>& stored) {
  if (!stored || stored->empty()) return;
  const WideString wide(ini::UnquoteValue(*stored).c_str());
  const size_t count = std::min(static_cast<size_t>(wide.GetLength()), N - 1);
  std::copy_n(wide.c_str(), count, field);
  field[count] = u'\0';
}

uint32_t NumberOf(const std::optional<std::string>& value) {
  return value ? static_cast<uint32_t>(std::strtoul(value->c_str(), nullptr, 10)) : 0;
}

// The record's fields under readable keys; numbers in decimal.
struct NumericKey {
  const char* key;
  uint32_t RasEntryRecord::*field;
};
constexpr NumericKey kNumericKeys[] = {
    {"Type", &RasEntryRecord::dwType},
    {"Options", &RasEntryRecord::dwfOptions},
    {"NetProtocols", &RasEntryRecord::dwfNetProtocols},
    {"FramingProtocol", &RasEntryRecord::dwFramingProtocol},
    {"EncryptionType", &RasEntryRecord::dwEncryptionType},
    {"Options2", &RasEntryRecord::dwfOptions2},
    {"CountryID", &RasEntryRecord::dwCountryID},
    {"CountryCode", &RasEntryRecord::dwCountryCode},
};

}  // namespace

bool IsWellFormedEntryName(const char16_t* entryName) {
  if (entryName == nullptr) return false;
  const std::u16string_view name(entryName);
  if (name.empty() || name.size() > kMaxEntryNameChars) return false;
  if (name.front() == u'.' || name.front() == u' ' || name.back() == u' ') return false;
  if (HasLoneSurrogate(name)) return false;
  bool hasLetterOrDigit = false;
  for (char16_t unit : name) {
    if (unit < 0x20 || unit == 0x7F) return false;
    if (std::u16string_view(u"|><?*\\/:[]").find(unit) != std::u16string_view::npos) return false;
    // Beyond ASCII, anything from the Latin letters on counts as a letter.
    if (IsAsciiAlphaNumeric(unit) || unit >= 0xC0) hasLetterOrDigit = true;
  }
  return hasLetterOrDigit;
}

PosixPhonebook::PosixPhonebook(std::string phonebookPath, std::string pppRoot)
    : m_strPhonebookPath(std::move(phonebookPath)),
      m_strCredentialsPath(m_strPhonebookPath.empty()
                               ? std::string()
                               : FolderOf(m_strPhonebookPath) + "/" + kCredentialsFileName),
      m_strPppRoot(std::move(pppRoot)) {}

uint32_t PosixPhonebook::QueryEntrySize(uint32_t& size) {
  const bool bigEnough = size >= kRasEntryRecordSize;
  size = kRasEntryRecordSize;
  return bigEnough ? 0 : kErrorBufferTooSmall;
}

uint32_t PosixPhonebook::FindEntry(const std::string& name, std::string& section,
                                   std::string& text) {
  if (m_strPhonebookPath.empty()) return kErrorCannotOpenPhonebook;
  if (const uint32_t failure =
          RasStatusFromErrno(ReadProfileFile(m_strPhonebookPath, text), ErrnoStep::kRead))
    return failure;
  auto spelling = ini::SectionSpelling(text, name);
  if (!spelling) return kErrorCannotFindPhonebookEntry;
  section = std::move(*spelling);
  return 0;
}

uint32_t PosixPhonebook::ValidateEntryName(const char16_t* entryName) {
  if (!IsWellFormedEntryName(entryName)) return kErrorInvalidName;
  const std::string name = EncodeUtf8(entryName);
  // pppd refuses to call a name with "..", and never loses a peer it has.
  if (name.find("..") != std::string::npos) return kErrorInvalidName;
  const PppFolders ppp(m_strPppRoot);
  if (ppp.Taken(name)) return kErrorAlreadyExists;
  std::string section, text;
  const uint32_t status = FindEntry(name, section, text);
  if (status == 0) return kErrorAlreadyExists;
  if (status != kErrorCannotFindPhonebookEntry) return status;
  // What the credentials step would refuse is refused now, before the entry
  // is written: a refused run leaves nothing behind for a retry to trip over.
  if (const uint32_t failure =
          RasStatusFromErrno(CheckSecretStore(m_strCredentialsPath), ErrnoStep::kCheckSecretStore))
    return failure;
  return ppp.Present() ? RasStatusFromErrno(ppp.CheckWritable(), ErrnoStep::kCheckPppFiles) : 0;
}

uint32_t PosixPhonebook::SetEntryProperties(const char16_t* entryName, const void* record,
                                            uint32_t size) {
  if (!IsWellFormedEntryName(entryName)) return kErrorInvalidName;
  if (record == nullptr) return kErrorInvalidParameter;
  uint32_t declaredSize = 0;
  std::memcpy(&declaredSize, record, sizeof declaredSize);
  if (declaredSize != kRasEntryRecordSize || size < declaredSize) return kErrorInvalidSize;
  RasEntryRecord entry;
  std::memcpy(&entry, record, sizeof entry);

  const auto phoneNumber = FieldText(entry.szLocalPhoneNumber);
  const auto areaCode = FieldText(entry.szAreaCode);
  const auto deviceType = FieldText(entry.szDeviceType);
  const auto deviceName = FieldText(entry.szDeviceName);
  if (!phoneNumber || !areaCode || !deviceType || !deviceName) return kErrorInvalidParameter;
  if (!HayesDialString(ini::UnquoteValue(*phoneNumber)))
    return kErrorInvalidParameter;  // chat could not dial it

  const std::string section = EncodeUtf8(entryName);
  if (m_strPhonebookPath.empty()) return kErrorCannotWritePhonebook;
  if (const uint32_t failure =
          RasStatusFromErrno(CreateFolders(FolderOf(m_strPhonebookPath)), ErrnoStep::kWrite))
    return failure;
  const int error = UpdateProfileFile(
      m_strPhonebookPath,
      [&](std::string& text) {
        bool changed = false;
        changed |= ini::SetValue(text, section, "PhoneNumber", *phoneNumber);
        changed |= ini::SetValue(text, section, "AreaCode", *areaCode);
        changed |= ini::SetValue(text, section, "DeviceType", *deviceType);
        changed |= ini::SetValue(text, section, "DeviceName", *deviceName);
        for (const NumericKey& numeric : kNumericKeys)
          changed |= ini::SetValue(text, section, numeric.key,
                                   std::to_string(entry.*numeric.field));
        return changed;
      },
      kPhonebookMode);
  return RasStatusFromErrno(error, ErrnoStep::kWrite);
}

uint32_t PosixPhonebook::SetCredentials(const char16_t* entryName,
                                        const RasCredentialsRecord& credentials) {
  if (credentials.dwSize != kRasCredentialsRecordSize) return kErrorInvalidSize;
  if (entryName == nullptr) return kErrorCannotFindPhonebookEntry;
  std::string section, text;
  const uint32_t status = FindEntry(EncodeUtf8(entryName), section, text);
  if (status != 0) return status;

  const auto userName = FieldText(credentials.szUserName);
  const auto password = FieldText(credentials.szPassword);
  const auto domain = FieldText(credentials.szDomain);
  if (!userName || !password || !domain) return kErrorInvalidParameter;

  // Secrets go only where no one else can read them or plant a file for them;
  // an existing file that others could read is closed as it is rewritten.
  const int error = UpdateProfileFile(
      m_strCredentialsPath,
      [&](std::string& text) {
        bool changed = false;
        if (credentials.dwMask & kRascmUserName)
          changed |= ini::SetValue(text, section, "UserName", *userName);
        if (credentials.dwMask & kRascmPassword)
          changed |= ini::SetValue(text, section, "Password", *password);
        if (credentials.dwMask & kRascmDomain) changed |= ini::SetValue(text, section, "Domain", *domain);
        return changed;
      },
      kCredentialsMode, FileSecrecy::kSecret);
  if (const uint32_t failure = RasStatusFromErrno(error, ErrnoStep::kWriteSecretStore))
    return failure;

  // pppd's files are written here, with the credentials, because only now
  // are the entry, its speed keys (the speed writer has put them into the
  // entry's section by then) and its credentials all known.
  const PppFolders ppp(m_strPppRoot);
  // The ppp package brings the folders; without it the entry stays the
  // tool's own, and the run says so.
  if (!ppp.Present()) {
    m_bPppPeerSkipped = true;
    return 0;
  }
  const auto value = [&](const char* key) {
    return ini::UnquoteValue(ini::GetValue(text, section, key).value_or(""));
  };
  // pppd gets the texts themselves, not the file's quoted spelling of them.
  const PppConnection connection{section, value("DeviceName"), value("PhoneNumber"),
                                 value("PreferredBps"), ini::UnquoteValue(*userName)};
  return RasStatusFromErrno(WritePppConnection(ppp, connection, ini::UnquoteValue(*password)),
                            ErrnoStep::kWrite);
}

bool PosixPhonebook::CanStore(EntryOperand operand, const char16_t* text) {
  if (text == nullptr) return false;
  const std::u16string_view wide(text);
  const std::string utf8 = EncodeUtf8(wide);
  const size_t bytes = utf8.size();
  // A malformed name is the name check's to refuse, with its own status, but
  // bytes that are not UTF-8 are stored as no name the user typed. pppd takes
  // file names of at most 255 bytes, and the name's words in the peer file
  // must reach pppd whole.
  if (operand == EntryOperand::Connection)
    return bytes <= kMaxPppBytes && !HasLoneSurrogate(wide) &&
           PppTakesName(PppFolders(m_strPppRoot), utf8);
  // Every other value goes on one line of a file.
  if (!IsStorableValue(wide)) return false;
  switch (operand) {
    case EntryOperand::User:
      // pppd reads a client of "*" in its secrets files as any client.
      return bytes <= kMaxPppBytes && utf8 != "*";
    case EntryOperand::Password:
      return bytes <= kMaxPppBytes && PppTakesSecret(utf8);
    default:
      return true;
  }
}

uint32_t PosixPhonebook::GetEntryProperties(const char16_t* entryName, void* record,
                                            uint32_t& size) {
  if (record == nullptr || size < kRasEntryRecordSize) {
    size = kRasEntryRecordSize;
    return kErrorBufferTooSmall;
  }
  uint32_t declaredSize = 0;
  std::memcpy(&declaredSize, record, sizeof declaredSize);
  if (declaredSize != kRasEntryRecordSize) return kErrorInvalidSize;
  if (entryName == nullptr) return kErrorCannotFindPhonebookEntry;

  std::string section, text;
  const uint32_t status = FindEntry(EncodeUtf8(entryName), section, text);
  if (status != 0) return status;

  RasEntryRecord entry{};
  entry.dwSize = kRasEntryRecordSize;
  SetField(entry.szLocalPhoneNumber, ini::GetValue(text, section, "PhoneNumber"));
  SetField(entry.szAreaCode, ini::GetValue(text, section, "AreaCode"));
  SetField(entry.szDeviceType, ini::GetValue(text, section, "DeviceType"));
  SetField(entry.szDeviceName, ini::GetValue(text, section, "DeviceName"));
  for (const NumericKey& numeric : kNumericKeys)
    entry.*numeric.field = NumberOf(ini::GetValue(text, section, numeric.key));
  std::memcpy(record, &entry, sizeof entry);
  size = kRasEntryRecordSize;
  return 0;
}

}  // namespace halvorn
