#include "dialup/pppd/ppp_connection_posix.h"

#include "dialup/pppd/ppp_secrets_posix.h"

namespace halvorn {

int WritePppConnection(const PppFolders& folders, const PppConnection& connection,
                       std::string_view password) {
  // The secret goes in first, so that pppd never finds a peer without it.
  // Without a user, a secret left by an earlier run for the name goes.
  for (const std::string& secrets : {folders.PapSecretsPath(), folders.ChapSecretsPath()})
    if (int error = StoreSecrets(secrets, connection.user, connection.name, password)) return error;
  return WritePeerFiles(folders, connection);
}

}  // namespace halvorn
