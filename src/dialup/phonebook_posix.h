// The project's own phonebook service on POSIX. The phonebook is one
// INI-style file with a section per entry; the speed keys the profile writer
// adds land in the same section. Credentials live apart, in a file of mode 0600
// in the same folder, so that the phonebook itself holds no secret; that file is
// written only into a folder no one else can write to (else 5, access denied).
// Texts with blanks at either end are stored in quotes, so they read back
// exactly. Every
// change is a locked, atomic read-modify-write that leaves other sections and
// keys as they were.
#pragma once

#include <string>

#include "dialup/phonebook.h"

namespace halvorn {

inline constexpr char kCredentialsFileName[] = "rasphone.credentials";

class PosixPhonebook final : public Phonebook {
 public:
  // An empty path (one that could not be made) is a phonebook that cannot be
  // opened: 621 to readers, 624 to writers.
  explicit PosixPhonebook(std::string phonebookPath);

  // Refuses a modem, phone number, user or password holding a control
  // character or a lone surrogate: the file could not keep it on one line.
  bool CanStore(EntryOperand operand, const char16_t* text) override;
  uint32_t QueryEntrySize(uint32_t& size) override;
  uint32_t ValidateEntryName(const char16_t* entryName) override;
  uint32_t SetEntryProperties(const char16_t* entryName, const void* record,
                              uint32_t size) override;
  uint32_t SetCredentials(const char16_t* entryName,
                          const RasCredentialsRecord& credentials) override;
  uint32_t GetEntryProperties(const char16_t* entryName, void* record, uint32_t& size) override;

  const std::string& PhonebookPath() const { return m_strPhonebookPath; }
  const std::string& CredentialsPath() const { return m_strCredentialsPath; }

 private:
  // 0 with the phonebook text and the entry's section name as the file spells
  // it, or the service's error code.
  uint32_t FindEntry(const std::string& name, std::string& section, std::string& text);

  std::string m_strPhonebookPath;
  std::string m_strCredentialsPath;
};

// Whether the RAS service would accept name as an entry name (the syntax
// only), with the section-name limits of the phonebook file added.
bool IsWellFormedEntryName(const char16_t* entryName);

}  // namespace halvorn
