#include "app/commands.h"

#include "dialup/entry/phonebook_entry.h"
#include "interrogation/query_run.h"
#include "interrogation/serial_modem_line.h"

namespace halvorn {

int32_t HalvornCommands::Query(const WideString& port, const WideString& commandList,
                               const WideString& reportFile) {
  SerialModemLine line(m_services.comm);
  QueryServices query{line, m_services.profileWriter, m_services.console};
  return RunQuery(query, port, commandList, reportFile);
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
  return ReadPhonebookEntry(m_services.phonebook, m_services.processHeap, connection);
}

}  // namespace halvorn
