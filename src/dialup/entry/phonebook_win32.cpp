#include "dialup/entry/phonebook_win32.h"

#include <windows.h>
#include <ras.h>
#include <raserror.h>

#include <cstddef>
#include <string>

#include "dialup/entry/environment_win32.h"

namespace halvorn {

namespace {

// The records are handed to the service as they are, so their layout must be
// the published one.
#define HALVORN_SAME_FIELD(mine, theirs, field)                     \
  static_assert(offsetof(mine, field) == offsetof(theirs, field) && \
                sizeof(mine::field) == sizeof(theirs::field))

// The headers spell the record names as "struct tag..." macros.
using PlatformEntry = RASENTRYW;
using PlatformCredentials = RASCREDENTIALSW;

static_assert(sizeof(RasEntryRecord) == sizeof(RASENTRYW));
static_assert(sizeof(RasCredentialsRecord) == sizeof(RASCREDENTIALSW));
static_assert(sizeof(char16_t) == sizeof(WCHAR));
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwSize);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwfOptions);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwCountryID);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwCountryCode);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szAreaCode);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szLocalPhoneNumber);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwAlternateOffset);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, ipaddr);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, ipaddrWinsAlt);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwFrameSize);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwfNetProtocols);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwFramingProtocol);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szScript);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szAutodialFunc);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szDeviceType);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szDeviceName);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szX25UserData);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwChannels);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwIdleDisconnectSeconds);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwType);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwEncryptionType);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwCustomAuthKey);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, guidId);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szCustomDialDll);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwVpnStrategy);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwfOptions2);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwfOptions3);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szDnsSuffix);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwTcpWindowSize);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szPrerequisitePbk);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, szPrerequisiteEntry);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwRedialCount);
HALVORN_SAME_FIELD(RasEntryRecord, PlatformEntry, dwRedialPause);
HALVORN_SAME_FIELD(RasCredentialsRecord, PlatformCredentials, dwSize);
HALVORN_SAME_FIELD(RasCredentialsRecord, PlatformCredentials, dwMask);
HALVORN_SAME_FIELD(RasCredentialsRecord, PlatformCredentials, szUserName);
HALVORN_SAME_FIELD(RasCredentialsRecord, PlatformCredentials, szPassword);
HALVORN_SAME_FIELD(RasCredentialsRecord, PlatformCredentials, szDomain);
#undef HALVORN_SAME_FIELD

static_assert(RASEO_IpHeaderCompression == kRaseoIpHeaderCompression &&
              RASEO_RemoteDefaultGateway == kRaseoRemoteDefaultGateway &&
              RASEO2_SecureFileAndPrint == kRaseo2SecureFileAndPrint &&
              RASEO2_SecureClientForMSNet == kRaseo2SecureClientForMSNet &&
              RASNP_Ip == kRasnpIp && RASFP_Ppp == kRasfpPpp && RASET_Phone == kRasetPhone &&
              ET_Optional == kEtOptional && RASCM_UserName == kRascmUserName &&
              RASCM_Password == kRascmPassword && RASCM_Domain == kRascmDomain);
static_assert(ERROR_BUFFER_TOO_SMALL == kErrorBufferTooSmall &&
              ERROR_CANNOT_OPEN_PHONEBOOK == kErrorCannotOpenPhonebook &&
              ERROR_CANNOT_FIND_PHONEBOOK_ENTRY == kErrorCannotFindPhonebookEntry &&
              ERROR_CANNOT_WRITE_PHONEBOOK == kErrorCannotWritePhonebook &&
              ERROR_INVALID_SIZE == kErrorInvalidSize && ERROR_INVALID_NAME == kErrorInvalidName &&
              ERROR_ALREADY_EXISTS == kErrorAlreadyExists);

LPCWSTR Wide(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }

}  // namespace

uint32_t Win32Phonebook::QueryEntrySize(uint32_t& size) {
  DWORD bytes = size;
  const DWORD status = RasGetEntryPropertiesW(nullptr, nullptr, nullptr, &bytes, nullptr, nullptr);
  size = bytes;
  return status;
}

uint32_t Win32Phonebook::ValidateEntryName(const char16_t* entryName) {
  return RasValidateEntryNameW(nullptr, Wide(entryName));
}

// The default phonebook is the all-users file, whose name the speed keys are
// written under too. Only "no such file" and "no such folder" mean missing:
// a file that cannot be looked at (access denied) may well hold the name.
bool Win32Phonebook::IsDefaultPhonebookMissing() {
  std::wstring path;
  if (CommonPhonebookFile(path) != 0) return false;  // no real place to look
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

uint32_t Win32Phonebook::SetEntryProperties(const char16_t* entryName, const void* record,
                                            uint32_t size) {
  // The service takes a non-const record but only reads it.
  return RasSetEntryPropertiesW(nullptr, Wide(entryName),
                                static_cast<LPRASENTRYW>(const_cast<void*>(record)), size,
                                nullptr, 0);
}

uint32_t Win32Phonebook::SetCredentials(const char16_t* entryName,
                                        const RasCredentialsRecord& credentials) {
  RasCredentialsRecord copy = credentials;
  const DWORD status = RasSetCredentialsW(nullptr, Wide(entryName),
                                          reinterpret_cast<LPRASCREDENTIALSW>(&copy), FALSE);
  SecureZeroMemory(copy.szPassword, sizeof copy.szPassword);
  return status;
}

uint32_t Win32Phonebook::GetEntryProperties(const char16_t* entryName, void* record,
                                            uint32_t& size) {
  DWORD bytes = size;
  const DWORD status = RasGetEntryPropertiesW(nullptr, Wide(entryName),
                                              static_cast<LPRASENTRYW>(record), &bytes, nullptr,
                                              nullptr);
  size = bytes;
  return status;
}

}  // namespace halvorn
