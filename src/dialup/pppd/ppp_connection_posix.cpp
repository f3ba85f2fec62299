#include "dialup/pppd/ppp_connection_posix.h"

#include <cerrno>

namespace halvorn {

int WritePppConnection(const PppFolders& folders, const PppConnection& connection,
                       std::string_view password, bool replaceOwn, PppSecretsBefore& before) {
  std::string entry;
  if (!connection.user.empty()) {
    entry = SecretsEntry(connection.user, connection.name, password);
    if (entry.empty()) return EINVAL;
  }
  // The secret goes in first, so that pppd never finds a peer without it.
  if (int error = ReplaceSecretsEntry(folders.PapSecretsPath(), connection.name, entry, &before.pap))
    return error;
  if (int error = ReplaceSecretsEntry(folders.ChapSecretsPath(), connection.name, entry, &before.chap))
    return error;
  return WritePeerFiles(folders, connection, replaceOwn);
}

int UndoPppConnection(const PppFolders& folders, std::string_view name,
                      const PppSecretsBefore& before) {
  int first = RemovePeerFiles(folders, name);
  const auto keep = [&first](int error) {
    if (first == 0) first = error;
  };
  keep(UndoSecretsChange(folders.ChapSecretsPath(), name, before.chap));
  keep(UndoSecretsChange(folders.PapSecretsPath(), name, before.pap));
  return first;
}

}  // namespace halvorn
