// A Remote Access service (rasapi32.dll) for the Wine tests, loaded in place
// of Wine's stub. It answers the calls halvorn.exe makes as Windows documents
// them, keeps each entry as a section of the all-users phonebook file
// (C:\ProgramData\Microsoft\Network\Connections\Pbk\rasphone.pbk), the
// credentials in rasphone.credentials beside it, and appends one line per call
// to rasapi32.log beside this DLL.
#include <windows.h>
#include <ras.h>
#include <raserror.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

namespace {

HMODULE g_module = nullptr;

// Sizes of the entry record versions. Vista, 7 and 8 append IPv6 and IKEv2
// fields to the XP record that the headers describe.
constexpr DWORD kKnownEntrySizes[] = {
    offsetof(RASENTRYW, dwSubEntries),  // Windows NT 4.0
    offsetof(RASENTRYW, dwType),        // NT 4.0 SP3, 98
    offsetof(RASENTRYW, dwfOptions2),   // 2000
    sizeof(RASENTRYW),                  // XP
    sizeof(RASENTRYW) + 40,             // Vista
    sizeof(RASENTRYW) + 64,             // 7
    sizeof(RASENTRYW) + 1108,           // 8 and later
};

bool IsKnownEntrySize(DWORD size) {
  for (DWORD known : kKnownEntrySizes)
    if (size == known) return true;
  return false;
}

// The size of the newest record, or what RAS_DOUBLE_ENTRY_SIZE says, so that
// a test can play an older or a broken service.
DWORD OwnEntrySize() {
  wchar_t text[16];
  const DWORD length = GetEnvironmentVariableW(L"RAS_DOUBLE_ENTRY_SIZE", text, 16);
  if (length == 0 || length >= 16) return kKnownEntrySizes[std::size(kKnownEntrySizes) - 1];
  return static_cast<DWORD>(std::wcstoul(text, nullptr, 10));
}

std::string Utf8(const wchar_t* text) {
  if (text == nullptr) return "(none)";
  char buffer[1024];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return length > 0 ? buffer : "(unconvertible)";
}

__attribute__((format(gnu_printf, 1, 2))) void Log(const char* format, ...) {
  char line[2048];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line, sizeof line - 1, format, arguments);
  va_end(arguments);
  if (length < 0) return;
  const size_t count = std::strlen(line);
  line[count] = '\n';
  // The module's own name is spelled as the importer wrote it (RASAPI32.dll).
  wchar_t module[MAX_PATH];
  const DWORD moduleLength = GetModuleFileNameW(g_module, module, MAX_PATH);
  if (moduleLength == 0 || moduleLength >= MAX_PATH) return;
  std::wstring path(module);
  path.replace(path.rfind(L'\\') + 1, std::wstring::npos, L"rasapi32.log");
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(count + 1), &written, nullptr);
  CloseHandle(file);
}

std::wstring PhonebookFolder() {
  wchar_t data[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, data))) return L"";
  return std::wstring(data) + L"\\Microsoft\\Network\\Connections\\Pbk";
}
std::wstring PhonebookFile() { return PhonebookFolder() + L"\\rasphone.pbk"; }
std::wstring CredentialsFile() { return PhonebookFolder() + L"\\rasphone.credentials"; }

// Entry names as Windows accepts them: 1 to 256 characters, at least one
// letter or digit, no control or path characters, no leading dot or blank.
bool IsWellFormedName(const wchar_t* name) {
  const size_t length = std::wcslen(name);
  if (length == 0 || length > RAS_MaxEntryName || name[0] == L'.' || name[0] == L' ' ||
      name[length - 1] == L' ')
    return false;
  bool letterOrDigit = false;
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (*c < 0x20 || *c == 0x7F || std::wcschr(L"|><?*\\/:[]", *c) != nullptr) return false;
    letterOrDigit |= IsCharAlphaNumericW(*c) != FALSE;
  }
  return letterOrDigit;
}

bool EntryExists(const wchar_t* name) {
  static wchar_t names[65536];
  const DWORD length =
      GetPrivateProfileSectionNamesW(names, sizeof names / sizeof *names, PhonebookFile().c_str());
  for (const wchar_t* section = names; section < names + length && *section != L'\0';
       section += std::wcslen(section) + 1)
    if (lstrcmpiW(section, name) == 0) return true;
  return false;
}

// The record fields an entry keeps, under the phonebook's keys.
struct TextKey {
  const wchar_t* key;
  size_t offset;
  size_t chars;
};
constexpr TextKey kTextKeys[] = {
    {L"PhoneNumber", offsetof(RASENTRYW, szLocalPhoneNumber), RAS_MaxPhoneNumber + 1},
    {L"AreaCode", offsetof(RASENTRYW, szAreaCode), RAS_MaxAreaCode + 1},
    {L"DeviceType", offsetof(RASENTRYW, szDeviceType), RAS_MaxDeviceType + 1},
    {L"DeviceName", offsetof(RASENTRYW, szDeviceName), RAS_MaxDeviceName + 1},
};
struct NumberKey {
  const wchar_t* key;
  size_t offset;
};
constexpr NumberKey kNumberKeys[] = {
    {L"Type", offsetof(RASENTRYW, dwType)},
    {L"Options", offsetof(RASENTRYW, dwfOptions)},
    {L"NetProtocols", offsetof(RASENTRYW, dwfNetProtocols)},
    {L"FramingProtocol", offsetof(RASENTRYW, dwFramingProtocol)},
    {L"EncryptionType", offsetof(RASENTRYW, dwEncryptionType)},
    {L"Options2", offsetof(RASENTRYW, dwfOptions2)},
    {L"CountryID", offsetof(RASENTRYW, dwCountryID)},
    {L"CountryCode", offsetof(RASENTRYW, dwCountryCode)},
};

// A text field is usable when it ends within its room and fits on one line.
bool IsStorableText(const wchar_t* text, size_t chars) {
  for (size_t i = 0; i < chars; ++i) {
    if (text[i] == L'\0') return true;
    if (text[i] < 0x20) return false;
  }
  return false;
}

DWORD WriteEntry(const wchar_t* name, const BYTE* record, DWORD size) {
  for (const TextKey& text : kTextKeys)
    if (text.offset + text.chars * sizeof(WCHAR) <= size &&
        !IsStorableText(reinterpret_cast<const wchar_t*>(record + text.offset), text.chars))
      return ERROR_INVALID_PARAMETER;
  const int created = SHCreateDirectoryExW(nullptr, PhonebookFolder().c_str(), nullptr);
  if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS)
    return ERROR_CANNOT_WRITE_PHONEBOOK;
  const std::wstring file = PhonebookFile();
  bool written = true;
  for (const TextKey& text : kTextKeys)
    if (text.offset + text.chars * sizeof(WCHAR) <= size)
      written &= WritePrivateProfileStringW(name, text.key,
                                            reinterpret_cast<const wchar_t*>(record + text.offset),
                                            file.c_str()) != FALSE;
  for (const NumberKey& number : kNumberKeys) {
    if (number.offset + sizeof(DWORD) > size) continue;
    DWORD value;
    std::memcpy(&value, record + number.offset, sizeof value);
    written &= WritePrivateProfileStringW(name, number.key, std::to_wstring(value).c_str(),
                                          file.c_str()) != FALSE;
  }
  return written ? 0 : ERROR_CANNOT_WRITE_PHONEBOOK;
}

void ReadEntry(const wchar_t* name, BYTE* record, DWORD size) {
  const std::wstring file = PhonebookFile();
  for (const TextKey& text : kTextKeys)
    if (text.offset + text.chars * sizeof(WCHAR) <= size)
      GetPrivateProfileStringW(name, text.key, L"",
                               reinterpret_cast<wchar_t*>(record + text.offset),
                               static_cast<DWORD>(text.chars), file.c_str());
  for (const NumberKey& number : kNumberKeys) {
    if (number.offset + sizeof(DWORD) > size) continue;
    const DWORD value = GetPrivateProfileIntW(name, number.key, 0, file.c_str());
    std::memcpy(record + number.offset, &value, sizeof value);
  }
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
  if (!IsKnownEntrySize(version)) return ERROR_INVALID_SIZE;
  if (*size < version) {
    *size = version;
    return ERROR_BUFFER_TOO_SMALL;
  }
  if (entry != nullptr && !EntryExists(entry)) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  BYTE* bytes = reinterpret_cast<BYTE*>(record);
  std::memset(bytes + sizeof(DWORD), 0, version - sizeof(DWORD));
  if (entry != nullptr) ReadEntry(entry, bytes, version);  // none: the defaults, all zero
  *size = version;
  return 0;
}

DWORD ValidateName(LPCWSTR phonebook, LPCWSTR entry) {
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  if (entry == nullptr || !IsWellFormedName(entry)) return ERROR_INVALID_NAME;
  return EntryExists(entry) ? ERROR_ALREADY_EXISTS : 0;
}

DWORD SetEntry(LPCWSTR phonebook, LPCWSTR entry, LPRASENTRYW record, DWORD size) {
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  if (entry == nullptr || !IsWellFormedName(entry)) return ERROR_INVALID_NAME;
  if (record == nullptr) return ERROR_INVALID_PARAMETER;
  if (!IsKnownEntrySize(record->dwSize) || size < record->dwSize) return ERROR_INVALID_SIZE;
  return WriteEntry(entry, reinterpret_cast<const BYTE*>(record), record->dwSize);
}

DWORD SetCredentials(LPCWSTR phonebook, LPCWSTR entry, LPRASCREDENTIALSW credentials, BOOL clear) {
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  if (credentials == nullptr) return ERROR_INVALID_PARAMETER;
  if (credentials->dwSize != sizeof(RASCREDENTIALSW)) return ERROR_INVALID_SIZE;
  if (entry == nullptr || !EntryExists(entry)) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  const std::wstring file = CredentialsFile();
  if (clear)
    return WritePrivateProfileStringW(entry, nullptr, nullptr, file.c_str())
               ? 0
               : ERROR_CANNOT_WRITE_PHONEBOOK;
  const struct {
    DWORD bit;
    const wchar_t* key;
    const WCHAR* text;
    size_t chars;
  } fields[] = {
      {RASCM_UserName, L"UserName", credentials->szUserName, UNLEN + 1},
      {RASCM_Password, L"Password", credentials->szPassword, PWLEN + 1},
      {RASCM_Domain, L"Domain", credentials->szDomain, DNLEN + 1},
  };
  for (const auto& field : fields)
    if ((credentials->dwMask & field.bit) && !IsStorableText(field.text, field.chars))
      return ERROR_INVALID_PARAMETER;
  bool written = true;
  for (const auto& field : fields)
    if (credentials->dwMask & field.bit)
      written &= WritePrivateProfileStringW(entry, field.key, field.text, file.c_str()) != FALSE;
  return written ? 0 : ERROR_CANNOT_WRITE_PHONEBOOK;
}

const char* Given(const void* pointer) { return pointer != nullptr ? "given" : "(none)"; }
std::string Number(const DWORD* value) {
  return value != nullptr ? std::to_string(*value) : "(none)";
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

DWORD WINAPI RasGetEntryPropertiesW(LPCWSTR phonebook, LPCWSTR entry, LPRASENTRYW record,
                                    LPDWORD size, LPBYTE deviceInfo, LPDWORD deviceInfoSize) {
  const std::string sizeIn = Number(size);
  const DWORD status = GetEntry(phonebook, entry, record, size, deviceInfoSize);
  Log("RasGetEntryPropertiesW phonebook=%s entry=%s dwSize=%s size=%s deviceInfo=%s -> %lu size=%s",
      Utf8(phonebook).c_str(), Utf8(entry).c_str(),
      Number(record ? &record->dwSize : nullptr).c_str(), sizeIn.c_str(), Given(deviceInfo), status,
      Number(size).c_str());
  return status;
}

DWORD WINAPI RasValidateEntryNameW(LPCWSTR phonebook, LPCWSTR entry) {
  const DWORD status = ValidateName(phonebook, entry);
  Log("RasValidateEntryNameW phonebook=%s entry=%s -> %lu", Utf8(phonebook).c_str(),
      Utf8(entry).c_str(), status);
  return status;
}

DWORD WINAPI RasSetEntryPropertiesW(LPCWSTR phonebook, LPCWSTR entry, LPRASENTRYW record,
                                    DWORD size, LPBYTE deviceInfo, DWORD deviceInfoSize) {
  const DWORD status = SetEntry(phonebook, entry, record, size);
  Log("RasSetEntryPropertiesW phonebook=%s entry=%s dwSize=%s size=%lu deviceInfo=%s/%lu -> %lu",
      Utf8(phonebook).c_str(), Utf8(entry).c_str(),
      Number(record ? &record->dwSize : nullptr).c_str(), size, Given(deviceInfo), deviceInfoSize,
      status);
  return status;
}

DWORD WINAPI RasSetCredentialsW(LPCWSTR phonebook, LPCWSTR entry, LPRASCREDENTIALSW credentials,
                                BOOL clear) {
  const DWORD status = SetCredentials(phonebook, entry, credentials, clear);
  Log("RasSetCredentialsW phonebook=%s entry=%s dwSize=%s mask=%s clear=%d -> %lu",
      Utf8(phonebook).c_str(), Utf8(entry).c_str(),
      Number(credentials ? &credentials->dwSize : nullptr).c_str(),
      Number(credentials ? &credentials->dwMask : nullptr).c_str(), clear, status);
  return status;
}
