// Room dialup/pppd: what makes a phonebook entry dialable on Linux, where
// pppd dials it (`pon NAME`): the peer file and the chat script
// (ppp_peer_posix.h), the PAP and CHAP secrets lines (ppp_secrets_posix.h),
// and the step that writes them all for one connection (this file). The room
// knows pppd's files only; the entry's own phonebook is dialup/entry's.
#pragma once

#include <string_view>

#include "dialup/pppd/ppp_peer_posix.h"

namespace halvorn {

// Writes what pppd needs to dial the connection: the secrets lines in both
// secrets files (when there is a user; else an earlier entry for the name is
// removed), then the chat script and the peer file. Returns 0 or an errno
// value.
int WritePppConnection(const PppFolders& folders, const PppConnection& connection,
                       std::string_view password);

}  // namespace halvorn
