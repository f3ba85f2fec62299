#include "dialup/phonebook_win32.h"

#include <windows.h>
#include <ras.h>

#include <cstddef>

namespace halvorn {

namespace {

// The records are handed to the service as they are, so their layout must be
// the published one.
#define HALVORN_SAME_FIELD(mine, theirs, field)                     \
  static_assert(offsetof(mine, field) == offsetof(theirs, field) && \
                sizeof(mine::field) == sizeof(theirs::field))

static_assert(sizeof(RasEntryRecord) == sizeof(RASENTRYW));
static_assert(sizeof(RasCredentialsRecord) == sizeof(RASCREDENTIALSW));
static_assert(sizeof(char16_t) == sizeof(WCHAR));
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwSize);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwfOptions);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwCountryID);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwCountryCode);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szAreaCode);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szLocalPhoneNumber);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwAlternateOffset);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, ipaddr);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, ipaddrWinsAlt);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwFrameSize);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwfNetProtocols);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwFramingProtocol);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szScript);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szAutodialFunc);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szDeviceType);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szDeviceName);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szX25UserData);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwChannels);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwIdleDisconnectSeconds);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwType);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwEncryptionType);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwCustomAuthKey);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, guidId);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szCustomDialDll);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwVpnStrategy);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwfOptions2);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwfOptions3);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szDnsSuffix);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwTcpWindowSize);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szPrerequisitePbk);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, szPrerequisiteEntry);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwRedialCount);
HALVORN_SAME_FIELD(RasEntryRecord, RASENTRYW, dwRedialPause);
HALVORN_SAME_FIELD(RasCredentialsRecord, RASCREDENTIALSW, dwSize);
HALVORN_SAME_FIELD(RasCredentialsRecord, RASCREDENTIALSW, dwMask);
HALVORN_SAME_FIELD(RasCredentialsRecord, RASCREDENTIALSW, szUserName);
HALVORN_SAME_FIELD(RasCredentialsRecord, RASCREDENTIALSW, szPassword);
HALVORN_SAME_FIELD(RasCredentialsRecord, RASCREDENTIALSW, szDomain);
#undef HALVORN_SAME_FIELD

static_assert(RASEO_IpHeaderCompression == kRaseoIpHeaderCompression &&
              RASEO_RemoteDefaultGateway == kRaseoRemoteDefaultGateway &&
              RASEO2_SecureFileAndPrint == kRaseo2SecureFileAndPrint &&
              RASEO2_SecureClientForMSNet == kRaseo2SecureClientForMSNet &&
              RASNP_Ip == kRasnpIp && RASFP_Ppp == kRasfpPpp && RASET_Phone == kRasetPhone &&
              ET_Optional == kEtOptional && RASCM_UserName == kRascmUserName &&
              RASCM_Password == kRascmPassword);
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
