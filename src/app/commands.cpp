#include "app/commands.h"

#include "dialup/phonebook_entry.h"

namespace halvorn {

// Placeholder until the serial and interrogation subsystems land.
int32_t HalvornCommands::Query(const WideString&, const WideString&, const WideString&) {
  return 0;
}

int32_t HalvornCommands::Ras(const WideString& connection, const WideString& modem,
                             const WideString& phoneNumber, const WideString& user,
                             const WideString& password, const WideString& baudRate,
                             bool wantShortcut) {
  ShellShortcutMaker shortcut(m_services.shell, m_services.console);
  DialupServices dialup{m_services.console,     m_services.phonebook, m_services.environment,
                        m_services.processHeap, m_services.profileWriter, shortcut};
  return CreatePhonebookEntry(dialup, connection, modem, phoneNumber, user, password, baudRate,
                              wantShortcut);
}

int32_t HalvornCommands::RasReset(const WideString& connection) {
  return ReadPhonebookEntry(m_services.phonebook, connection);
}

}  // namespace halvorn
