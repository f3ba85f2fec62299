#include "dialup/entry/phonebook_posix.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "dialup/pppd/ppp_secrets_posix.h"
#include "profile/ini_text.h"
#include "profile/locked_file_posix.h"
#include "profile/profile_writer_posix.h"
#include "text/code_page.h"
#include "text/console.h"
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

bool IsAsciiAlphaNumeric(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'Z') ||
         (unit >= u'a' && unit <= u'z');
}

bool HasUnpairedSurrogate(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// Values go on one line of the file: no control characters, nothing that
// cannot be written as UTF-8.
bool IsStorableValue(std::u16string_view text) {
  for (char16_t unit : text)
    if (unit < 0x20 || unit == 0x7F) return false;
  return !HasUnpairedSurrogate(text);
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
  if (HasUnpairedSurrogate(name)) return false;
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
      m_ppp(std::move(pppRoot)) {}

uint32_t PosixPhonebook::QueryEntrySize(uint32_t& size) {
  const bool bigEnough = size >= kRasEntryRecordSize;
  size = kRasEntryRecordSize;
  return bigEnough ? 0 : kErrorBufferTooSmall;
}

uint32_t PosixPhonebook::FindEntry(const std::string& name, std::string& section,
                                   std::string& text) {
  if (m_strPhonebookPath.empty()) return kErrorCannotOpenPhonebook;
  const int error = ReadProfileFile(m_strPhonebookPath, text);
  if (error == ENOENT) return kErrorCannotFindPhonebookEntry;
  if (error != 0) return kErrorCannotOpenPhonebook;
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
  if (m_ppp.Taken(name)) return kErrorAlreadyExists;
  std::string section, text;
  const uint32_t status = FindEntry(name, section, text);
  if (status == 0) return kErrorAlreadyExists;
  if (status != kErrorCannotFindPhonebookEntry) return status;
  // What the credentials step would refuse is refused now, before the entry
  // is written: a refused run leaves nothing behind for a retry to trip over.
  const int credentialsError = CheckSecretStore(m_strCredentialsPath);
  if (credentialsError == EACCES || credentialsError == EPERM) return kErrorAccessDenied;
  if (m_ppp.Present() && m_ppp.CheckWritable() != 0) return kErrorAccessDenied;
  return 0;
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
  if (m_strPhonebookPath.empty() || CreateFolders(FolderOf(m_strPhonebookPath)) != 0)
    return kErrorCannotWritePhonebook;
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
  return error == 0 ? 0 : kErrorCannotWritePhonebook;
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
        if (credentials.dwMask & 0x4) changed |= ini::SetValue(text, section, "Domain", *domain);
        return changed;
      },
      kCredentialsMode, FileSecrecy::kSecret);
  if (error == EACCES || error == EPERM) return kErrorAccessDenied;
  if (error != 0) return kErrorCannotWritePhonebook;
  // pppd gets the texts themselves, not the file's quoted spelling of them.
  return WritePppConnection(section, text, ini::UnquoteValue(*userName),
                            ini::UnquoteValue(*password));
}

uint32_t PosixPhonebook::WritePppConnection(const std::string& section, const std::string& text,
                                            const std::string& user,
                                            const std::string& password) {
  // The ppp package brings the folders; without it the entry stays the
  // tool's own, and the run says so.
  if (!m_ppp.Present()) {
    m_bPppPeerSkipped = true;
    return 0;
  }
  const auto value = [&](const char* key) {
    return ini::UnquoteValue(ini::GetValue(text, section, key).value_or(""));
  };
  const PppConnection connection{section, value("DeviceName"), value("PhoneNumber"),
                                 value("PreferredBps"), user};
  // The secret goes in first, so that pppd never finds a peer without it.
  if (!user.empty()) {
    for (const std::string& secrets : {m_ppp.PapSecretsPath(), m_ppp.ChapSecretsPath()})
      if (StoreSecrets(secrets, user, section, password) != 0) return kErrorCannotWritePhonebook;
  }
  return WritePeerFiles(m_ppp, connection) == 0 ? 0 : kErrorCannotWritePhonebook;
}

bool PosixPhonebook::CanStore(EntryOperand operand, const char16_t* text) {
  if (text == nullptr) return false;
  const std::u16string_view wide(text);
  const size_t bytes = EncodeUtf8(wide).size();
  // A malformed name is the name check's to refuse, with its own status; pppd
  // takes file names of at most 255 bytes.
  if (operand == EntryOperand::Connection) return bytes <= kMaxPppBytes;
  // Every other value goes on one line of a file.
  if (!IsStorableValue(wide)) return false;
  switch (operand) {
    case EntryOperand::User:
      return bytes <= kMaxPppBytes;
    case EntryOperand::Password:
      // pppd would read a secret that starts with "@" as a file name.
      return bytes <= kMaxPppBytes && wide.substr(0, 1) != u"@";
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
