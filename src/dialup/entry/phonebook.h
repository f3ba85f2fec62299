// The seam to the platform's Remote Access phonebook service, always on the
// default phonebook. Every operation returns the service's status: 0 on
// success, otherwise an error code of the RAS family below or the platform's.
#pragma once

#include <cstdint>

#include "dialup/entry/ras_records.h"

namespace halvorn {

inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorBufferTooSmall = 603;
inline constexpr uint32_t kErrorCannotOpenPhonebook = 621;
inline constexpr uint32_t kErrorCannotFindPhonebookEntry = 623;
inline constexpr uint32_t kErrorCannotWritePhonebook = 624;
inline constexpr uint32_t kErrorInvalidSize = 632;

// The operands of `ras` that the phonebook stores.
enum class EntryOperand { Connection, Modem, PhoneNumber, User, Password, BaudRate };

class Phonebook {
 public:
  virtual ~Phonebook() = default;

  // Whether text can be stored as that operand and read back exactly as given.
  // Asked for every operand (the password only when the user is not "-")
  // before anything is written; a refusal ends `ras` with -4.
  virtual bool CanStore(EntryOperand /*operand*/, const char16_t* /*text*/) { return true; }

  // Asks for the byte size of an entry record (no name, no record); size must
  // hold 0 on entry and receives the size.
  virtual uint32_t QueryEntrySize(uint32_t& size) = 0;

  // 0 when the name is well formed and no entry of that name exists.
  virtual uint32_t ValidateEntryName(const char16_t* entryName) = 0;

  // Whether the default phonebook file does not exist at all, as on a machine
  // that never had an entry. A service that cannot open it to look a name up
  // answers the validation with 621; the name is free all the same, and
  // writing the entry creates the file. A backend that takes a missing file as
  // an empty phonebook never answers 621 for it, and says false.
  virtual bool IsDefaultPhonebookMissing() { return false; }

  // Writes (or replaces) the entry from a record block of size bytes whose
  // start is laid out as RasEntryRecord.
  virtual uint32_t SetEntryProperties(const char16_t* entryName, const void* record,
                                      uint32_t size) = 0;

  // Stores the user name and password of an existing entry.
  virtual uint32_t SetCredentials(const char16_t* entryName,
                                  const RasCredentialsRecord& credentials) = 0;

  // Reads the entry into a block of size bytes whose dwSize the caller set.
  virtual uint32_t GetEntryProperties(const char16_t* entryName, void* record,
                                      uint32_t& size) = 0;
};

}  // namespace halvorn
