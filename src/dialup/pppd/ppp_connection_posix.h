// Room dialup/pppd: what makes a phonebook entry dialable on Linux, where
// pppd dials it (`pon NAME`): the peer file and the chat script
// (ppp_peer_posix.h), the PAP and CHAP secrets lines (ppp_secrets_posix.h),
// and the step that writes them all for one connection (this file). The room
// knows pppd's files only; the entry's own phonebook is dialup/entry's.
#pragma once

#include <string_view>

#include "dialup/pppd/ppp_peer_posix.h"
#include "dialup/pppd/ppp_secrets_posix.h"

namespace halvorn {

// What the secrets files held for a connection before WritePppConnection
// changed them, for UndoPppConnection.
struct PppSecretsBefore {
  SecretsChange pap, chap;
};

// Writes what pppd needs to dial the connection: the secrets lines in both
// secrets files (with no user, the tool's earlier entry for the name goes),
// then the chat script and the peer file; with replaceOwn, files this tool
// wrote for the connection before are replaced. before records what the
// secrets files held. Returns 0 or an errno value.
int WritePppConnection(const PppFolders& folders, const PppConnection& connection,
                       std::string_view password, bool replaceOwn, PppSecretsBefore& before);

// Takes back what WritePppConnection wrote for the connection: its peer file
// and chat script go, and each secrets file it changed gets its earlier text
// back. Returns 0 or the first errno value met; every step is tried.
int UndoPppConnection(const PppFolders& folders, std::string_view name,
                      const PppSecretsBefore& before);

}  // namespace halvorn
