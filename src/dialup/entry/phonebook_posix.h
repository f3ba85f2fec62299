// The project's own phonebook service on POSIX. The phonebook is one
// INI-style file with a section per entry; the speed keys the profile writer
// adds land in the same section. Credentials live apart, in a file of mode 0600
// in the same folder, so that the phonebook itself holds no secret; that file is
// written only into a folder no one else can write to (else 5, access denied).
// Texts with blanks at either end are stored in quotes, so they read back
// exactly. Every change is a locked, atomic read-modify-write that leaves other
// sections and keys as they were.
//
// Each entry is also made dialable by pppd (dialup/pppd): storing its
// credentials writes the peer file, the chat script and the secrets lines
// under the PPP configuration root (/etc).
#pragma once

#include <memory>
#include <string>

#include "dialup/entry/phonebook.h"

namespace halvorn {

inline constexpr char kCredentialsFileName[] = "rasphone.credentials";

// `ras` stored the entry, but pppd cannot dial it: the ppp package is missing.
inline constexpr int32_t kRasPppNotInstalled = -6;

class EntryTransaction;

class PosixPhonebook final : public Phonebook {
 public:
  // An empty phonebook path (one that could not be made) is a phonebook that
  // cannot be opened: 621 to readers, 624 to writers. pppRoot is the folder
  // that holds ppp/ and chatscripts/ (/etc).
  PosixPhonebook(std::string phonebookPath, std::string pppRoot);
  ~PosixPhonebook() override;

  // Refuses any operand holding a lone surrogate (bytes that were not UTF-8),
  // every operand but the name holding a control character (the file could
  // not keep it on one line), and what pppd could not take: a name, user or
  // password over 255 bytes, a name whose connect command would be cut, a
  // user of "*" (any client to pppd), a password that starts with "@".
  bool CanStore(EntryOperand operand, const char16_t* text) override;
  uint32_t QueryEntrySize(uint32_t& size) override;
  uint32_t ValidateEntryName(const char16_t* entryName) override;
  uint32_t SetEntryProperties(const char16_t* entryName, const void* record,
                              uint32_t size) override;
  uint32_t SetCredentials(const char16_t* entryName,
                          const RasCredentialsRecord& credentials) override;
  uint32_t GetEntryProperties(const char16_t* entryName, void* record, uint32_t& size) override;

  // Ends the `ras` run that a successful name check began: status 0 makes the
  // entry final; any other status takes back every file the run wrote. Returns
  // the run's status, or 624 when the entry could not be made final.
  int32_t EndRun(int32_t status);

  // The run's transaction, for the other writers of the run (the launcher).
  EntryTransaction& Transaction() { return *m_pTransaction; }

  // An entry was stored without its PPP peer because the ppp package's
  // folders are missing.
  bool PppPeerSkipped() const { return m_bPppPeerSkipped; }

  const std::string& PhonebookPath() const { return m_strPhonebookPath; }
  const std::string& CredentialsPath() const { return m_strCredentialsPath; }

 private:
  // 0 with the phonebook text and the entry's section name as the file spells
  // it, or the service's error code.
  uint32_t FindEntry(const std::string& name, std::string& section, std::string& text);
  // 0 when no finished entry and no pppd file of another owner has the name;
  // resume tells that a killed run's unfinished entry is there to complete.
  uint32_t CheckNameFree(const std::string& name, bool& resume);

  std::unique_ptr<EntryTransaction> m_pTransaction;
  std::string m_strRunEntry;  // the entry this run creates, once its name passed
  bool m_bResuming = false;

  std::string m_strPhonebookPath;
  std::string m_strCredentialsPath;
  std::string m_strPppRoot;
  bool m_bPppPeerSkipped = false;
};

// Whether the RAS service would accept name as an entry name (the syntax
// only), with the section-name limits of the phonebook file added.
bool IsWellFormedEntryName(const char16_t* entryName);

}  // namespace halvorn
