#include "dialup/pppd/ppp_secrets_posix.h"

#include <sys/stat.h>

#include <cerrno>

#include "dialup/pppd/ppp_peer_posix.h"
#include "profile/locked_file_posix.h"

namespace halvorn {

namespace {

constexpr mode_t kSecretsMode = 0600;

}  // namespace

bool PppTakesSecret(std::string_view password) { return password.substr(0, 1) != "@"; }

std::string SecretsEntry(std::string_view user, std::string_view connection,
                         std::string_view password) {
  const auto client = PppQuoted(user), server = PppQuoted(connection), secret = PppQuoted(password);
  if (!client || !server || !secret || !PppTakesSecret(password)) return {};
  return PppMarkerLine(connection) + *client + " " + *server + " " + *secret + "\n";
}

bool PutSecretsEntry(std::string& text, std::string_view connection, const std::string& entry) {
  const std::string marker = PppMarkerLine(connection);
  std::string kept;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    if (text.compare(start, end - start, marker) == 0) {
      // The marker and the line after it are this tool's earlier entry.
      end = text.find('\n', end);
      start = end == std::string::npos ? text.size() : end + 1;
      continue;
    }
    kept.append(text, start, end - start);
    start = end;
  }
  if (!entry.empty() && !kept.empty() && kept.back() != '\n') kept += '\n';
  kept += entry;
  const bool changed = kept != text;
  text = std::move(kept);
  return changed;
}

std::string OwnSecretsEntry(std::string_view text, std::string_view connection) {
  const std::string marker = PppMarkerLine(connection);
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    if (text.compare(start, end - start, marker) == 0) {
      const size_t next = text.find('\n', end);
      return std::string(text.substr(start, (next == std::string_view::npos ? text.size() : next + 1) - start));
    }
    start = end;
  }
  return {};
}

int ReplaceSecretsEntry(const std::string& path, std::string_view connection,
                        const std::string& entry, std::string* previous) {
  // As a secret store: the caller's own file in a folder no one else may
  // write to, never reached through a link, and closed to others as it is
  // rewritten (the new text is never readable by more than the old).
  return UpdateFileLocked(
      path,
      [&](std::string& text) {
        if (previous != nullptr) *previous = OwnSecretsEntry(text, connection);
        return PutSecretsEntry(text, connection, entry);
      },
      kSecretsMode, FileSecrecy::kSecret);
}

int StoreSecrets(const std::string& path, std::string_view user, std::string_view connection,
                 std::string_view password) {
  const std::string entry = SecretsEntry(user, connection, password);
  if (entry.empty()) return EINVAL;
  return ReplaceSecretsEntry(path, connection, entry, nullptr);
}

}  // namespace halvorn
