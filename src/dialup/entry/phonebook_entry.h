// Room dialup/entry: the Remote Access phonebook entry, on both platforms.
// The `ras` and `rasreset` commands (this file), the phonebook service seam
// (phonebook.h, with the published records of ras_records.h) and its
// backends: rasapi32 on Windows, the tool's own phonebook file and credential
// store on POSIX; and the services they lean on: the phonebook file's path,
// environment expansion and the process heap.
//
// The dial-up commands: `ras` creates a phonebook entry with its credentials
// and speed keys, `rasreset` reads an entry back.
#pragma once

#include <cstdint>

#include "text/wide_string.h"

namespace halvorn {

class Console;
class Environment;
class Phonebook;
class ProcessHeap;
class ProfileWriter;
class ShellApi;

// Results of CreatePhonebookEntry besides 0 and the credential status.
inline constexpr int32_t kRasNameRefused = -1;
inline constexpr int32_t kRasEntryNotWritten = -2;
inline constexpr int32_t kRasOutOfMemory = -3;
inline constexpr int32_t kRasArgumentTooLong = -4;
inline constexpr int32_t kRasPhonebookFileNotWritten = -5;

// Makes the desktop shortcut of a new entry; a seam of its own so that the
// entry logic does not depend on the shell.
class ShortcutMaker {
 public:
  virtual ~ShortcutMaker() = default;
  virtual void CreateShortcut(const char16_t* linkFileName, const char16_t* entryName) = 0;
};

// The shortcut through the shell (CreateConnectionShortcut).
class ShellShortcutMaker final : public ShortcutMaker {
 public:
  ShellShortcutMaker(ShellApi& shell, Console& console) : m_rShell(shell), m_rConsole(console) {}
  void CreateShortcut(const char16_t* linkFileName, const char16_t* entryName) override;

 private:
  ShellApi& m_rShell;
  Console& m_rConsole;
};

struct DialupServices {
  Console& console;
  Phonebook& phonebook;
  Environment& environment;
  ProcessHeap& heap;
  ProfileWriter& profileWriter;
  ShortcutMaker& shortcutMaker;
};

int32_t CreatePhonebookEntry(DialupServices& services, const WideString& connection,
                             const WideString& modem, const WideString& phoneNumber,
                             const WideString& user, const WideString& password,
                             const WideString& baudRate, bool wantShortcut);

// The service's status of reading the entry: 0 when it exists and was read;
// kRasOutOfMemory when no block for the record could be had.
int32_t ReadPhonebookEntry(Phonebook& phonebook, ProcessHeap& heap, const WideString& connection);

}  // namespace halvorn
