#include "dialup/entry/phonebook_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "dialup/entry/entry_name.h"
#include "dialup/entry/entry_transaction_posix.h"
#include "dialup/pppd/ppp_connection_posix.h"
#include "dialup/pppd/ppp_secrets_posix.h"
#include "profile/ini_text.h"
#include "profile/locked_file_posix.h"
#include "profile/profile_writer_posix.h"
#include "text/code_page.h"
#include "text/utf8.h"
#include "text/wide_string.h"

namespace halvorn {

namespace {

constexpr size_t kMaxEntryNameChars = 256;
// pppd keeps names and secrets in 256-byte buffers, terminator included; a
// file name holds 255 bytes.
constexpr size_t kMaxPppBytes = 255;
// Every user reads the entries (the folders are 0755); only the credentials
// file in the same folder is its owner's alone.
constexpr mode_t kPhonebookMode = 0644;
constexpr mode_t kCredentialsMode = 0600;

// Marks the section of an entry whose `ras` run has not ended: the entry is
// not there to readers (623), and the next run for the name completes it. It
// is the section's first key and goes as the run commits, so a finished entry
// holds the same bytes as ever.
constexpr char kUnfinishedKey[] = "HalvornUnfinished";
constexpr char kLockFileName[] = "rasphone.lock";

bool IsUnfinished(const std::string& text, const std::string& section) {
  return ini::GetValue(text, section, kUnfinishedKey).has_value();
}

// Removes a file this run created that its undo left empty.
int RemoveIfEmpty(const std::string& path) {
  return RemoveFileLocked(path, [](const std::string& text) { return text.empty(); });
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// Whether the caller may create files in folder, or in the nearest folder
// above it that exists (which would hold the ones made for it).
bool MayCreateFilesIn(std::string folder) {
  for (;;) {
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return true;
    const size_t slash = folder.rfind('/');
    if (errno != ENOENT || folder == "/" || slash == std::string::npos) return false;
    folder.resize(std::max<size_t>(slash, 1));
  }
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
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
  if (!HasDocumentedEntryNameForm(name) || HasLoneSurrogate(name)) return false;
  // The name is a section of the phonebook file: blanks at its ends would be
  // dropped, and a bracket or a control character would break its line.
  if (name.front() == u' ' || name.back() == u' ') return false;
  for (char16_t unit : name)
    if (unit < 0x20 || unit == 0x7F || unit == u'[' || unit == u']') return false;
  return true;
}

PosixPhonebook::~PosixPhonebook() = default;

PosixPhonebook::PosixPhonebook(std::string phonebookPath, std::string pppRoot)
    : m_pTransaction(std::make_unique<EntryTransaction>()),
      m_strPhonebookPath(std::move(phonebookPath)),
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

uint32_t PosixPhonebook::CheckNameFree(const std::string& name, bool& resume) {
  resume = false;
  std::string section, text;
  const uint32_t status = FindEntry(name, section, text);
  if (status != 0 && status != kErrorCannotFindPhonebookEntry) return status;
  // A killed run's entry is completed only under the name it was begun with:
  // pppd's files of another spelling would be other files.
  const bool unfinished = status == 0 && section == name && IsUnfinished(text, section);
  if (status == 0 && !unfinished) return kErrorAlreadyExists;
  // pppd never loses a peer it has; what a killed run of this very entry
  // left is the next run's to complete.
  const PppFolders ppp(m_strPppRoot);
  if (ppp.Taken(name) && !(unfinished && ppp.OwnedBy(name))) return kErrorAlreadyExists;
  resume = unfinished;
  return 0;
}

uint32_t PosixPhonebook::ValidateEntryName(const char16_t* entryName) {
  if (!IsWellFormedEntryName(entryName)) return kErrorInvalidName;
  const std::string name = EncodeUtf8(entryName);
  // pppd refuses to call a name with "..".
  if (name.find("..") != std::string::npos) return kErrorInvalidName;
  if (m_strPhonebookPath.empty()) return kErrorCannotOpenPhonebook;
  // The lock files a killed run left go, whatever this run comes to.
  const std::string lockPath = FolderOf(m_strPhonebookPath) + "/" + kLockFileName;
  const PppFolders ppp(m_strPppRoot);
  WriterLock::RemoveStale(lockPath);
  if (ppp.Present()) WriterLock::RemoveStale(ppp.LockPath());
  bool resume = false;
  if (const uint32_t taken = CheckNameFree(name, resume)) return taken;
  // A phonebook folder the caller may not create files in (the default one,
  // to anyone but root) takes no entry: the entry's write says so (624),
  // before anything else is looked at, and writes nothing.
  const std::string folder = FolderOf(m_strPhonebookPath);
  if (!MayCreateFilesIn(folder)) return 0;
  // What a later step would refuse is refused now, before anything is
  // written: a refused run leaves nothing behind for a retry to trip over.
  if (const uint32_t failure =
          RasStatusFromErrno(CheckSecretStore(m_strCredentialsPath), ErrnoStep::kCheckSecretStore))
    return failure;
  if (ppp.Present())
    if (const uint32_t failure = RasStatusFromErrno(ppp.CheckWritable(), ErrnoStep::kCheckPppFiles))
      return failure;

  // From here to the end of the run no other run writes these files; the
  // name is looked at again, now that the answer cannot change.
  // pppd's files are every phonebook's: their own lock (root's alone, in
  // /etc/ppp) keeps runs on other phonebooks from writing them at once.
  std::vector<std::string> sharedLocks;
  if (ppp.Present()) sharedLocks.push_back(ppp.LockPath());
  const int lockError = m_pTransaction->Begin(folder, kLockFileName, sharedLocks);
  // A lock that cannot be taken (a link, a FIFO or another user's file in
  // its place) refuses the run here, before it writes anything.
  if (const uint32_t failure = RasStatusFromErrno(lockError, ErrnoStep::kWrite)) return failure;
  const uint32_t taken = CheckNameFree(name, resume);
  if (taken != 0) {
    m_pTransaction->End(false, {});
    return taken;
  }
  m_strRunEntry = name;
  m_bResuming = resume;
  return 0;
}

int32_t PosixPhonebook::EndRun(int32_t status) {
  if (!m_pTransaction->Active()) return status;
  // The entry is finished once its mark goes: the last write of the run.
  const int error = m_pTransaction->End(status == 0, [&] {
    return UpdateProfileFile(
        m_strPhonebookPath,
        [&](std::string& text) {
          // Every mark goes: a section edited by hand may hold more than one.
          bool changed = false;
          while (ini::RemoveKey(text, m_strRunEntry, kUnfinishedKey)) changed = true;
          return changed;
        },
        kPhonebookMode);
  });
  if (status == 0 && error != 0) return static_cast<int32_t>(kErrorCannotWritePhonebook);
  return status;
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
  const bool unfinished = m_pTransaction->Active() && section == m_strRunEntry;
  if (unfinished) {
    const bool existed = Exists(m_strPhonebookPath);
    m_pTransaction->OnUndo([this, section, existed] {
      const int error = UpdateProfileFile(
          m_strPhonebookPath,
          [&](std::string& text) { return ini::RemoveSection(text, section); }, kPhonebookMode);
      return error != 0 || existed ? error : RemoveIfEmpty(m_strPhonebookPath);
    });
  }
  const int error = UpdateProfileFile(
      m_strPhonebookPath,
      [&](std::string& text) {
        bool changed = false;
        if (unfinished) changed |= ini::SetValue(text, section, kUnfinishedKey, "1");
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

  // What the store held for the entry, for the undo: nothing, when this run
  // completes one that a killed run left.
  struct Before {
    bool bExisted = false;
    bool bSection = false;
    std::optional<std::string> strKeys[3];
  };
  constexpr const char* kCredentialKeys[] = {"UserName", "Password", "Domain"};
  auto before = std::make_shared<Before>();
  before->bExisted = Exists(m_strCredentialsPath);
  if (m_pTransaction->Active()) {
    m_pTransaction->OnUndo([this, section, before, kCredentialKeys] {
      const int error = UpdateProfileFile(
          m_strCredentialsPath,
          [&](std::string& text) {
            if (!before->bSection || m_bResuming) return ini::RemoveSection(text, section);
            bool changed = false;
            for (size_t i = 0; i < 3; ++i)
              changed |= before->strKeys[i]
                             ? ini::SetValue(text, section, kCredentialKeys[i], *before->strKeys[i])
                             : ini::RemoveKey(text, section, kCredentialKeys[i]);
            return changed;
          },
          kCredentialsMode, FileSecrecy::kSecret);
      return error != 0 || before->bExisted ? error : RemoveIfEmpty(m_strCredentialsPath);
    });
  }
  // Secrets go only where no one else can read them or plant a file for them;
  // an existing file that others could read is closed as it is rewritten.
  const int error = UpdateProfileFile(
      m_strCredentialsPath,
      [&](std::string& text) {
        before->bSection = ini::SectionSpelling(text, section).has_value();
        for (size_t i = 0; i < 3; ++i)
          before->strKeys[i] = ini::GetValue(text, section, kCredentialKeys[i]);
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
  auto secretsBefore = std::make_shared<PppSecretsBefore>();
  m_pTransaction->OnUndo([ppp, section, secretsBefore] {
    return UndoPppConnection(ppp, section, *secretsBefore);
  });
  return RasStatusFromErrno(WritePppConnection(ppp, connection, ini::UnquoteValue(*password),
                                               m_bResuming, *secretsBefore),
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
  // An entry whose run has not ended is not there yet.
  if (IsUnfinished(text, section)) return kErrorCannotFindPhonebookEntry;

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
