#include "dialup/pppd/ppp_connection_posix.h"

#include <cerrno>

#include "dialup/pppd/ppp_secrets_posix.h"

namespace halvorn {

int WritePppConnection(const PppFolders& folders, const PppConnection& connection,
                       std::string_view password, bool replaceOwn, PppSecretsBefore& before) {
  std::string entry;
  if (!connection.user.empty()) {
    entry = SecretsEntry(connection.user, connection.name, password);
    if (entry.empty()) return EINVAL;
  }
  // The secret goes in first, so that pppd never finds a peer without it.
  if (int error = ReplaceSecretsEntry(folders.PapSecretsPath(), connection.name, entry,
                                      &before.strPapEntry))
    return error;
  before.bPapChanged = true;
  if (int error = ReplaceSecretsEntry(folders.ChapSecretsPath(), connection.name, entry,
                                      &before.strChapEntry))
    return error;
  before.bChapChanged = true;
  return WritePeerFiles(folders, connection, replaceOwn);
}

int UndoPppConnection(const PppFolders& folders, std::string_view name,
                      const PppSecretsBefore& before) {
  int first = RemovePeerFiles(folders, name);
  const auto keep = [&first](int error) {
    if (first == 0) first = error;
  };
  if (before.bChapChanged)
    keep(ReplaceSecretsEntry(folders.ChapSecretsPath(), name, before.strChapEntry, nullptr));
  if (before.bPapChanged)
    keep(ReplaceSecretsEntry(folders.PapSecretsPath(), name, before.strPapEntry, nullptr));
  return first;
}

}  // namespace halvorn
