// A Remote Access service (rasapi32.dll) for the Wine tests, loaded in place
// of Wine's stub. It answers the calls halvorn.exe makes as Windows documents
// them, keeps each entry as a section of the all-users phonebook file
// (%ProgramData%\Microsoft\Network\Connections\Pbk\rasphone.pbk), each
// caller's credentials beside it, and appends one line per call
// to rasapi32.log beside this DLL. It needs nothing from the shell, so that
// the shell double's log shows the tool's calls alone.
#include <windows.h>
#include <ras.h>
#include <raserror.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "../double_support/double_log.h"

namespace {

using doubles::Log;
using doubles::Utf8;

// The Windows release the double plays, from RAS_DOUBLE_WINDOWS (xp, vista,
// 7, 1803, 1809; the newest by default), and the byte size of its RASENTRYW.
// The size names the record's version: each release appends fields (Vista
// IPv6 DNS servers and interface metrics, 7 an IPv6 address and outage time,
// 10 1803 the IKEv2 identities, 1809 one flag more) and accepts its own
// record and every earlier one, Windows 2000's (which ends before
// dwfOptions2) included. Any other size is refused with ERROR_INVALID_SIZE.
struct WindowsRelease {
  const char* name;
  DWORD entrySize;
};
constexpr DWORD kWindows2000EntrySize = offsetof(RASENTRYW, dwfOptions2);
constexpr WindowsRelease kReleases[] = {
    {"xp", sizeof(RASENTRYW)}, {"vista", 5656}, {"7", 5680}, {"1803", 6720}, {"1809", 6724},
};
constexpr size_t kReleaseCount = sizeof kReleases / sizeof *kReleases;
static_assert(sizeof(RASENTRYW) == 5616, "the headers' record is Windows XP's");

size_t EmulatedRelease() {
  const char* name = std::getenv("RAS_DOUBLE_WINDOWS");
  for (size_t i = 0; name != nullptr && i < kReleaseCount; ++i)
    if (std::strcmp(name, kReleases[i].name) == 0) return i;
  return kReleaseCount - 1;
}

bool IsAcceptedEntrySize(DWORD size) {
  if (size == kWindows2000EntrySize) return true;
  for (size_t i = 0; i <= EmulatedRelease(); ++i)
    if (size == kReleases[i].entrySize) return true;
  return false;
}

// The size query answers the emulated release's record size, or what
// RAS_DOUBLE_ENTRY_SIZE says, so that a test can play a broken service.
DWORD OwnEntrySize() {
  const char* size = std::getenv("RAS_DOUBLE_ENTRY_SIZE");
  return size != nullptr ? std::strtoul(size, nullptr, 10) : kReleases[EmulatedRelease()].entrySize;
}

// From Vista on, the all-users phonebook is written by administrators only:
// RasSetEntryProperties returns ERROR_ACCESS_DENIED to a caller without
// administrator rights (a standard user, or an administrator whose program
// was not elevated). RAS_DOUBLE_ADMIN=0 plays such a caller.
bool MayWriteAllUsersPhonebook() {
  const char* admin = std::getenv("RAS_DOUBLE_ADMIN");
  return admin == nullptr || std::strcmp(admin, "0") != 0 || EmulatedRelease() == 0;
}

std::string Number(const DWORD* value) {
  return value != nullptr ? std::to_string(*value) : "(none)";
}

std::wstring PhonebookFolder() { return doubles::AllUsersPhonebookFolder(); }
std::wstring PhonebookFile() { return PhonebookFolder() + L"\\rasphone.pbk"; }

// RasValidateEntryName's rules for the format of a name, as its reference
// gives them (ERROR_INVALID_NAME otherwise): no leading "."; none of the
// characters | > < ? * \\ / :; and at least one alphanumeric character. Nothing
// else is refused: brackets and control characters pass.
bool IsWellFormedName(const wchar_t* name) {
  if (name[0] == L'.') return false;
  bool letterOrDigit = false;
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (std::wcschr(L"|><?*\\/:", *c) != nullptr) return false;
    WORD type = 0;
    GetStringTypeW(CT_CTYPE1, c, 1, &type);
    letterOrDigit |= (type & (C1_ALPHA | C1_DIGIT)) != 0;
  }
  return letterOrDigit;
}

bool PhonebookExists() { return GetFileAttributesW(PhonebookFile().c_str()) != INVALID_FILE_ATTRIBUTES; }

bool EntryExists(const wchar_t* name) {
  static wchar_t names[65536];
  const DWORD length =
      GetPrivateProfileSectionNamesW(names, sizeof names / sizeof *names, PhonebookFile().c_str());
  for (const wchar_t* section = names; section < names + length && *section != L'\0';
       section += std::wcslen(section) + 1)
    if (lstrcmpiW(section, name) == 0) return true;
  return false;
}

// The record fields an entry keeps, under the phonebook's keys: texts of
// `chars` characters, or numbers (chars 0).
struct Field {
  const wchar_t* key;
  size_t offset;
  size_t chars;
  size_t End() const { return offset + (chars != 0 ? chars * sizeof(WCHAR) : sizeof(DWORD)); }
};
constexpr Field kFields[] = {
    {L"PhoneNumber", offsetof(RASENTRYW, szLocalPhoneNumber), RAS_MaxPhoneNumber + 1},
    {L"AreaCode", offsetof(RASENTRYW, szAreaCode), RAS_MaxAreaCode + 1},
    {L"DeviceType", offsetof(RASENTRYW, szDeviceType), RAS_MaxDeviceType + 1},
    {L"DeviceName", offsetof(RASENTRYW, szDeviceName), RAS_MaxDeviceName + 1},
    {L"Type", offsetof(RASENTRYW, dwType), 0},
    {L"Options", offsetof(RASENTRYW, dwfOptions), 0},
    {L"NetProtocols", offsetof(RASENTRYW, dwfNetProtocols), 0},
    {L"FramingProtocol", offsetof(RASENTRYW, dwFramingProtocol), 0},
    {L"EncryptionType", offsetof(RASENTRYW, dwEncryptionType), 0},
    {L"Options2", offsetof(RASENTRYW, dwfOptions2), 0},
    {L"CountryID", offsetof(RASENTRYW, dwCountryID), 0},
    {L"CountryCode", offsetof(RASENTRYW, dwCountryCode), 0},
};

// A text field is usable when it ends within its room and fits on one line.
bool IsStorableText(const wchar_t* text, size_t chars) {
  for (size_t i = 0; i < chars; ++i) {
    if (text[i] == L'\0') return true;
    if (text[i] < 0x20) return false;
  }
  return false;
}

// The folder and those above it, as far as they are missing.
bool CreateFolders(const std::wstring& folder) {
  for (size_t slash = folder.find(L'\\', 3); ; slash = folder.find(L'\\', slash + 1)) {
    const std::wstring part = folder.substr(0, slash);
    if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (slash == std::wstring::npos) return true;
  }
}

// RasSetEntryProperties needs a phone number, a device name and type, a
// framing protocol (RASFP_Ppp, RASFP_Slip or RASFP_Ras) and an entry type
// (RASET_Phone to RASET_Broadband); without them it returns
// ERROR_INVALID_PARAMETER and writes nothing.
bool HasRequiredMembers(const RASENTRYW& record) {
  const DWORD framing = record.dwFramingProtocol;
  return record.szLocalPhoneNumber[0] != L'\0' && record.szDeviceName[0] != L'\0' &&
         record.szDeviceType[0] != L'\0' &&
         (framing == RASFP_Ppp || framing == RASFP_Slip || framing == RASFP_Ras) &&
         record.dwType >= RASET_Phone && record.dwType <= RASET_Broadband;
}

// A missing phonebook file, and the folders above it, are created by the
// first entry written.
DWORD WriteEntry(const wchar_t* name, const BYTE* record, DWORD size) {
  for (const Field& field : kFields)
    if (field.chars != 0 && field.End() <= size &&
        !IsStorableText(reinterpret_cast<const wchar_t*>(record + field.offset), field.chars))
      return ERROR_INVALID_PARAMETER;
  if (!CreateFolders(PhonebookFolder())) return ERROR_CANNOT_WRITE_PHONEBOOK;
  bool written = true;
  for (const Field& field : kFields) {
    if (field.End() > size) continue;
    DWORD number;
    std::memcpy(&number, record + field.offset, sizeof number);
    const std::wstring value = field.chars != 0
                                   ? reinterpret_cast<const wchar_t*>(record + field.offset)
                                   : std::to_wstring(number);
    written &= WritePrivateProfileStringW(name, field.key, value.c_str(),
                                          PhonebookFile().c_str()) != FALSE;
  }
  return written ? 0 : ERROR_CANNOT_WRITE_PHONEBOOK;
}

DWORD GetEntry(LPCWSTR phonebook, LPCWSTR entry, LPRASENTRYW record, LPDWORD size,
               LPDWORD deviceInfoSize) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  if (deviceInfoSize != nullptr) *deviceInfoSize = 0;  // no device-specific data
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  if (record == nullptr) {
    *size = OwnEntrySize();
    return ERROR_BUFFER_TOO_SMALL;
  }
  const DWORD version = record->dwSize;
  if (!IsAcceptedEntrySize(version)) return ERROR_INVALID_SIZE;
  if (*size < version) {
    *size = version;
    return ERROR_BUFFER_TOO_SMALL;
  }
  if (entry != nullptr && !EntryExists(entry)) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  // The defaults, all zero: the tool only asks whether an entry can be read.
  std::memset(reinterpret_cast<BYTE*>(record) + sizeof(DWORD), 0, version - sizeof(DWORD));
  *size = version;
  return 0;
}

// RasValidateEntryName returns ERROR_INVALID_NAME for a malformed name,
// ERROR_ALREADY_EXISTS for a name in the phonebook, and an error code when the
// phonebook cannot be opened: ERROR_CANNOT_OPEN_PHONEBOOK for a phonebook file
// that does not exist (a machine that never had an entry). The reference gives
// no order of these checks: RAS_DOUBLE_VALIDATION_ORDER=file-first opens the
// phonebook before it looks at the name (name-first by default).
// RAS_DOUBLE_VALIDATION=621 plays a phonebook file that exists but cannot be
// opened (damaged, or held by another program), =5 a caller refused access to
// it (ERROR_ACCESS_DENIED).
DWORD ValidateName(LPCWSTR phonebook, LPCWSTR entry) {
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  const char* order = std::getenv("RAS_DOUBLE_VALIDATION_ORDER");
  const bool fileFirst = order != nullptr && std::strcmp(order, "file-first") == 0;
  if (!fileFirst && (entry == nullptr || !IsWellFormedName(entry))) return ERROR_INVALID_NAME;
  if (!PhonebookExists()) return ERROR_CANNOT_OPEN_PHONEBOOK;
  const char* failure = std::getenv("RAS_DOUBLE_VALIDATION");
  if (failure != nullptr && *failure != '\0') return std::strtoul(failure, nullptr, 10);
  if (entry == nullptr || !IsWellFormedName(entry)) return ERROR_INVALID_NAME;
  return EntryExists(entry) ? ERROR_ALREADY_EXISTS : 0;
}

// RasSetEntryProperties documents no check of the name's form (that is
// RasValidateEntryName's): it writes the entry under the name given.
DWORD SetEntry(LPCWSTR phonebook, LPCWSTR entry, LPRASENTRYW record, DWORD size) {
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  if (entry == nullptr || record == nullptr) return ERROR_INVALID_PARAMETER;
  if (!IsAcceptedEntrySize(record->dwSize) || size < record->dwSize) return ERROR_INVALID_SIZE;
  if (!HasRequiredMembers(*record)) return ERROR_INVALID_PARAMETER;
  if (!MayWriteAllUsersPhonebook()) return ERROR_ACCESS_DENIED;
  return WriteEntry(entry, reinterpret_cast<const BYTE*>(record), record->dwSize);
}

// RasSetCredentials stores the credentials for the calling user alone; only
// with RASCM_DefaultCreds are they the entry's default credentials, shared by
// every user. The caller is RAS_DOUBLE_CALLER, else the Windows user: each
// caller's credentials go to rasphone.<caller>.credentials, the shared ones to
// rasphone.credentials. An entry that does not exist is refused with
// ERROR_INVALID_PARAMETER. The tool sets no domain.
std::wstring CredentialsFile(DWORD mask) {
  if (mask & RASCM_DefaultCreds) return PhonebookFolder() + L"\\rasphone.credentials";
  wchar_t caller[UNLEN + 1] = L"";
  DWORD length = UNLEN + 1;
  const char* named = std::getenv("RAS_DOUBLE_CALLER");
  if (named != nullptr)
    MultiByteToWideChar(CP_UTF8, 0, named, -1, caller, UNLEN + 1);
  else
    GetUserNameW(caller, &length);
  return PhonebookFolder() + L"\\rasphone." + caller + L".credentials";
}

DWORD SetCredentials(LPCWSTR phonebook, LPCWSTR entry, LPRASCREDENTIALSW credentials, BOOL clear) {
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  if (credentials == nullptr) return ERROR_INVALID_PARAMETER;
  if (credentials->dwSize != sizeof(RASCREDENTIALSW)) return ERROR_INVALID_SIZE;
  if (entry == nullptr || !EntryExists(entry)) return ERROR_INVALID_PARAMETER;
  const std::wstring file = CredentialsFile(credentials->dwMask);
  const bool user = credentials->dwMask & RASCM_UserName, password = credentials->dwMask & RASCM_Password;
  if ((user && !IsStorableText(credentials->szUserName, UNLEN + 1)) ||
      (password && !IsStorableText(credentials->szPassword, PWLEN + 1)))
    return ERROR_INVALID_PARAMETER;
  const bool written =
      clear ? WritePrivateProfileStringW(entry, nullptr, nullptr, file.c_str()) != FALSE
            : (!user || WritePrivateProfileStringW(entry, L"UserName", credentials->szUserName,
                                                   file.c_str())) &&
                  (!password || WritePrivateProfileStringW(entry, L"Password",
                                                           credentials->szPassword, file.c_str()));
  return written ? 0 : ERROR_CANNOT_WRITE_PHONEBOOK;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) doubles::PlaceLogBeside(instance, L"rasapi32.log");
  return TRUE;
}

DWORD WINAPI RasGetEntryPropertiesW(LPCWSTR phonebook, LPCWSTR entry, LPRASENTRYW record,
                                    LPDWORD size, LPBYTE, LPDWORD deviceInfoSize) {
  const std::string sizeIn = Number(size);
  const DWORD status = GetEntry(phonebook, entry, record, size, deviceInfoSize);
  Log("RasGetEntryPropertiesW entry=%s dwSize=%s size=%s -> %lu size=%s", Utf8(entry).c_str(),
      Number(record ? &record->dwSize : nullptr).c_str(), sizeIn.c_str(), status,
      Number(size).c_str());
  return status;
}

DWORD WINAPI RasValidateEntryNameW(LPCWSTR phonebook, LPCWSTR entry) {
  const DWORD status = ValidateName(phonebook, entry);
  Log("RasValidateEntryNameW entry=%s -> %lu", Utf8(entry).c_str(), status);
  return status;
}

DWORD WINAPI RasSetEntryPropertiesW(LPCWSTR phonebook, LPCWSTR entry, LPRASENTRYW record,
                                    DWORD size, LPBYTE deviceInfo, DWORD deviceInfoSize) {
  const DWORD status = SetEntry(phonebook, entry, record, size);
  Log("RasSetEntryPropertiesW entry=%s dwSize=%s size=%lu deviceInfo=%s/%lu -> %lu",
      Utf8(entry).c_str(), Number(record ? &record->dwSize : nullptr).c_str(), size,
      deviceInfo ? "given" : "(none)", deviceInfoSize, status);
  return status;
}

DWORD WINAPI RasSetCredentialsW(LPCWSTR phonebook, LPCWSTR entry, LPRASCREDENTIALSW credentials,
                                BOOL clear) {
  const DWORD status = SetCredentials(phonebook, entry, credentials, clear);
  Log("RasSetCredentialsW entry=%s dwSize=%s mask=%s clear=%d -> %lu", Utf8(entry).c_str(),
      Number(credentials ? &credentials->dwSize : nullptr).c_str(),
      Number(credentials ? &credentials->dwMask : nullptr).c_str(), clear, status);
  return status;
}
