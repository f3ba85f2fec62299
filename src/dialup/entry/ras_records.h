// The two records the dial-up commands hand to the phonebook service, laid out
// byte for byte as the platform's published RASENTRYW (the Windows XP version)
// and RASCREDENTIALSW, so that the Windows backend can pass them on unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvorn {

struct RasIpAddress {
  uint8_t a, b, c, d;
};

struct RasGuid {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

// Text capacities in characters, terminator included.
inline constexpr size_t kRasAreaCodeChars = 11;
inline constexpr size_t kRasPhoneNumberChars = 129;
inline constexpr size_t kRasDeviceTypeChars = 17;
inline constexpr size_t kRasDeviceNameChars = 129;
inline constexpr size_t kRasEntryNameChars = 257;
inline constexpr size_t kRasUserNameChars = 257;
inline constexpr size_t kRasPasswordChars = 257;
inline constexpr size_t kRasDomainChars = 16;
inline constexpr size_t kRasPathChars = 260;

struct RasEntryRecord {
  uint32_t dwSize;
  uint32_t dwfOptions;
  uint32_t dwCountryID;
  uint32_t dwCountryCode;
  char16_t szAreaCode[kRasAreaCodeChars];
  char16_t szLocalPhoneNumber[kRasPhoneNumberChars];
  uint32_t dwAlternateOffset;
  RasIpAddress ipaddr;
  RasIpAddress ipaddrDns;
  RasIpAddress ipaddrDnsAlt;
  RasIpAddress ipaddrWins;
  RasIpAddress ipaddrWinsAlt;
  uint32_t dwFrameSize;
  uint32_t dwfNetProtocols;
  uint32_t dwFramingProtocol;
  char16_t szScript[kRasPathChars];
  char16_t szAutodialDll[kRasPathChars];
  char16_t szAutodialFunc[kRasPathChars];
  char16_t szDeviceType[kRasDeviceTypeChars];
  char16_t szDeviceName[kRasDeviceNameChars];
  char16_t szX25PadType[33];
  char16_t szX25Address[201];
  char16_t szX25Facilities[201];
  char16_t szX25UserData[201];
  uint32_t dwChannels;
  uint32_t dwReserved1;
  uint32_t dwReserved2;
  uint32_t dwSubEntries;
  uint32_t dwDialMode;
  uint32_t dwDialExtraPercent;
  uint32_t dwDialExtraSampleSeconds;
  uint32_t dwHangUpExtraPercent;
  uint32_t dwHangUpExtraSampleSeconds;
  uint32_t dwIdleDisconnectSeconds;
  uint32_t dwType;
  uint32_t dwEncryptionType;
  uint32_t dwCustomAuthKey;
  RasGuid guidId;
  char16_t szCustomDialDll[kRasPathChars];
  uint32_t dwVpnStrategy;
  uint32_t dwfOptions2;
  uint32_t dwfOptions3;
  char16_t szDnsSuffix[256];
  uint32_t dwTcpWindowSize;
  char16_t szPrerequisitePbk[kRasPathChars];
  char16_t szPrerequisiteEntry[kRasEntryNameChars];
  uint32_t dwRedialCount;
  uint32_t dwRedialPause;
};

struct RasCredentialsRecord {
  uint32_t dwSize;
  uint32_t dwMask;
  char16_t szUserName[kRasUserNameChars];
  char16_t szPassword[kRasPasswordChars];
  char16_t szDomain[kRasDomainChars];
};

inline constexpr uint32_t kRasEntryRecordSize = 5616;
inline constexpr uint32_t kRasCredentialsRecordSize = 1068;
static_assert(sizeof(RasEntryRecord) == kRasEntryRecordSize);
static_assert(sizeof(RasCredentialsRecord) == kRasCredentialsRecordSize);

// The smallest record a service may ask for that still holds every field the
// tool sets (dwfOptions2 is the last of them).
inline constexpr uint32_t kRasEntryMinimumSize =
    offsetof(RasEntryRecord, dwfOptions2) + sizeof(uint32_t);

// Field values the tool uses.
inline constexpr uint32_t kRaseoIpHeaderCompression = 0x08;
inline constexpr uint32_t kRaseoRemoteDefaultGateway = 0x10;
inline constexpr uint32_t kRaseo2SecureFileAndPrint = 0x1;
inline constexpr uint32_t kRaseo2SecureClientForMSNet = 0x2;
inline constexpr uint32_t kRasnpIp = 4;
inline constexpr uint32_t kRasfpPpp = 1;
inline constexpr uint32_t kRasetPhone = 1;
inline constexpr uint32_t kEtOptional = 3;
inline constexpr uint32_t kRascmUserName = 0x1;
inline constexpr uint32_t kRascmPassword = 0x2;
inline constexpr uint32_t kRascmDomain = 0x4;

}  // namespace halvorn
