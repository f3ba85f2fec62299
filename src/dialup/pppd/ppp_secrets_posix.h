// The connection's secret in pppd's PAP and CHAP secrets files: one line
// "client" "server" "secret", with the tool's marker line before it, so that
// a later entry of the same name replaces it. Every other line stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace halvorn {

// Whether pppd takes password as the secret itself: it reads a secret that
// starts with "@" as the name of a file.
bool PppTakesSecret(std::string_view password);

// The marker line and the secrets line of a connection; empty when a text
// cannot be written as a word of the file.
std::string SecretsEntry(std::string_view user, std::string_view connection,
                         std::string_view password);

// Puts entry into the text of a secrets file in place of this tool's earlier
// entry for the connection, or at the end; an empty entry only removes the
// earlier one. An earlier entry is the marker line followed by a line exactly
// as SecretsEntry writes it for the connection; any other line after the
// marker is kept, with the marker. Returns whether the text changed.
bool PutSecretsEntry(std::string& text, std::string_view connection, const std::string& entry);

// This tool's entry for the connection in the text of a secrets file (its
// marker line and the line after it), or empty.
std::string OwnSecretsEntry(std::string_view text, std::string_view connection);

// What ReplaceSecretsEntry changed in a secrets file, for taking it back.
struct SecretsChange {
  bool bEdited = false;  // the new text was made: it may be in the file
  std::string strBefore, strAfter;  // the whole text before and as written
  std::string strEntry;  // this tool's entry it replaced, or empty
};

// Puts entry (empty: none) in place of this tool's entry for the connection in
// the secrets file at path, under the rules of StoreSecrets; change, when
// given, records what it did before the file is replaced. Returns 0 or an
// errno value.
int ReplaceSecretsEntry(const std::string& path, std::string_view connection,
                        const std::string& entry, SecretsChange* change);

// Takes a change back: the file gets its text before whole when it still
// holds what was written (or that text was never written), and otherwise,
// changed by someone since, the earlier entry back in place of the
// connection's. Returns 0 or an errno value.
int UndoSecretsChange(const std::string& path, std::string_view connection,
                      const SecretsChange& change);

// Stores the entry in the secrets file at path under its lock, atomically. A
// file that others could read is closed to them first; a new one is 0600.
// An empty user stores no secret and removes an earlier entry for the
// connection. Returns 0 or an errno value.
int StoreSecrets(const std::string& path, std::string_view user, std::string_view connection,
                 std::string_view password);

}  // namespace halvorn
