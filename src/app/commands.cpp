#include "app/commands.h"

#include "dialup/entry/phonebook_entry.h"
#include "interrogation/query_run.h"
#include "interrogation/serial_modem_line.h"

namespace halvorn {

int32_t HalvornCommands::Query(const WideString& port, const WideString& commandList,
                               const WideString& reportFile) {
  SerialModemLine line(m_rServices.comm, m_rServices.portLock);
  QueryServices query{line, m_rServices.profileWriter, m_rServices.console};
  return RunQuery(query, port, commandList, reportFile);
}

int32_t HalvornCommands::Ras(const WideString& connection, const WideString& modem,
                             const WideString& phoneNumber, const WideString& user,
                             const WideString& password, const WideString& baudRate,
                             bool wantShortcut) {
  ShellShortcutMaker shortcut(m_rServices.shell, m_rServices.console);
  DialupServices dialup{m_rServices.console,     m_rServices.phonebook, m_rServices.environment,
                        m_rServices.processHeap, m_rServices.profileWriter, shortcut};
  return CreatePhonebookEntry(dialup, connection, modem, phoneNumber, user, password, baudRate,
                              wantShortcut);
}

int32_t HalvornCommands::RasReset(const WideString& connection) {
  return ReadPhonebookEntry(m_rServices.phonebook, m_rServices.processHeap, connection);
}

}  // namespace halvorn
