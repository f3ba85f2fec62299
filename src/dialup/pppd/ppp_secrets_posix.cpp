#include "dialup/pppd/ppp_secrets_posix.h"

#include <sys/stat.h>

#include <cerrno>

#include "dialup/pppd/ppp_peer_posix.h"
#include "profile/locked_file_posix.h"

namespace halvorn {

namespace {

constexpr mode_t kSecretsMode = 0600;

// Length of the word at the start of text as PppQuoted writes it, or 0.
size_t QuotedWordLength(std::string_view text) {
  if (text.substr(0, 1) != "\"") return 0;
  for (size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') return i + 1;
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return 0;
    if (c == '\\') {
      if (i + 1 == text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return 0;
      ++i;
    }
  }
  return 0;
}

// Whether line (with its line end, if any) is a secrets line as SecretsEntry
// writes it for the connection: three quoted words, the second the name.
bool IsSecretsLineOf(std::string_view line, std::string_view connection) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  const auto name = PppQuoted(connection);
  const size_t client = QuotedWordLength(line);
  if (!name || client == 0) return false;
  const std::string server = " " + *name + " ";
  if (line.substr(client, server.size()) != server) return false;
  line.remove_prefix(client + server.size());
  return !line.empty() && QuotedWordLength(line) == line.size();
}

}  // namespace

bool PppTakesSecret(std::string_view password) { return password.substr(0, 1) != "@"; }

std::string SecretsEntry(std::string_view user, std::string_view connection,
                         std::string_view password) {
  const auto client = PppQuoted(user), server = PppQuoted(connection), secret = PppQuoted(password);
  if (!client || !server || !secret || !PppTakesSecret(password)) return {};
  return PppMarkerLine(connection) + *client + " " + *server + " " + *secret + "\n";
}

namespace {

// Finds, from at on, the next of this tool's entries for the connection:
// [begin, end) holds its marker and the line after it. The two lines are the
// tool's only when the second is what the tool writes; an administrator's
// line after a comment that looks the same stays, and so does the comment.
bool NextOwnEntry(std::string_view text, std::string_view connection, size_t at, size_t& begin,
                  size_t& end) {
  const std::string marker = PppMarkerLine(connection);
  for (size_t start = at; start < text.size();) {
    size_t lineEnd = text.find('\n', start);
    lineEnd = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
    if (text.compare(start, lineEnd - start, marker) == 0) {
      size_t next = text.find('\n', lineEnd);
      next = next == std::string_view::npos ? text.size() : next + 1;
      if (IsSecretsLineOf(text.substr(lineEnd, next - lineEnd), connection)) {
        begin = start;
        end = next;
        return true;
      }
    }
    start = lineEnd;
  }
  return false;
}

}  // namespace

bool PutSecretsEntry(std::string& text, std::string_view connection, const std::string& entry) {
  std::string kept;
  size_t at = 0;
  for (size_t begin = 0, end = 0; NextOwnEntry(text, connection, at, begin, end); at = end)
    kept.append(text, at, begin - at);
  kept.append(text, at);
  if (!kept.empty() && kept.back() != '\n' && !entry.empty()) kept += '\n';
  kept += entry;
  const bool changed = kept != text;
  text = std::move(kept);
  return changed;
}

std::string OwnSecretsEntry(std::string_view text, std::string_view connection) {
  size_t begin = 0, end = 0;
  if (!NextOwnEntry(text, connection, 0, begin, end)) return {};
  return std::string(text.substr(begin, end - begin));
}

int ReplaceSecretsEntry(const std::string& path, std::string_view connection,
                        const std::string& entry, SecretsChange* change) {
  // Taking away an entry that is not there touches no file at all.
  if (entry.empty()) {
    std::string text;
    if (int error = ReadFileLocked(path, text)) return error == ENOENT ? 0 : error;
    if (OwnSecretsEntry(text, connection).empty()) return 0;
  }
  // As a secret store: the caller's own file in a folder no one else may
  // write to, never reached through a link, and closed to others as it is
  // rewritten (the new text is never readable by more than the old).
  return UpdateFileLocked(
      path,
      [&](std::string& text) {
        // Recorded before the file is replaced: a failure after the rename
        // (the folder's fsync) must find the change to take back.
        std::string before = text;
        if (!PutSecretsEntry(text, connection, entry)) return false;
        if (change != nullptr) {
          std::string earlier = OwnSecretsEntry(before, connection);
          *change = {true, std::move(before), text, std::move(earlier)};
        }
        return true;
      },
      kSecretsMode, FileSecrecy::kSecret);
}

int UndoSecretsChange(const std::string& path, std::string_view connection,
                      const SecretsChange& change) {
  if (!change.bEdited) return 0;
  return UpdateFileLocked(
      path,
      [&](std::string& text) {
        if (text == change.strBefore) return false;
        if (text == change.strAfter) {
          text = change.strBefore;
          return true;
        }
        return PutSecretsEntry(text, connection, change.strEntry);
      },
      kSecretsMode, FileSecrecy::kSecret);
}

int StoreSecrets(const std::string& path, std::string_view user, std::string_view connection,
                 std::string_view password) {
  // Without a user the connection has no secret: only an earlier one goes.
  const std::string entry = user.empty() ? std::string() : SecretsEntry(user, connection, password);
  if (!user.empty() && entry.empty()) return EINVAL;
  return ReplaceSecretsEntry(path, connection, entry, nullptr);
}

}  // namespace halvorn
