// The words `ras` writes for pppd and chat, read back as those programs read
// them: from any operands (name, modem, phone number, speed, user, password,
// as bytes split at NUL), the peer file, the chat script and the secrets entry
// give every operand back exactly, or `ras` refuses the operands before it
// writes anything.
#include <algorithm>
#include <string>
#include <vector>

#include "dialup/entry/phonebook_posix.h"
#include "dialup/pppd/ppp_peer_posix.h"
#include "dialup/pppd/ppp_secrets_posix.h"
#include "fuzz_input.h"
#include "text/code_page.h"
#include "text/utf8.h"
#include "text/wide_string.h"

namespace {

using halvorn::fuzzing::Check;
using halvorn::fuzzing::SplitInput;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsOctal(char c) { return c >= '0' && c <= '7'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// pppd's reading of an option or secrets file: words split on blanks, "…" and
// '…' group, "#" outside quotes starts a comment (mid-word too), a backslash
// escapes (\ooo, \xHH, C letters, \s for a blank, any other character for
// itself, backslash-newline for nothing), and a word keeps 1023 bytes.
std::vector<std::string> PppdWords(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  const auto at = [&](size_t k) { return k < text.size() ? text[k] : '\0'; };
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\\' && at(i + 1) == '\n') {
      i += 2;
      continue;
    }
    if (IsBlank(c)) {
      ++i;
      continue;
    }
    if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    std::string word;
    char quoted = 0;
    while (i < text.size()) {
      const char d = text[i];
      if (d == '\\') {
        const char e = at(++i);
        if (i >= text.size()) break;
        if (e == '\n') {
          ++i;
          continue;
        }
        if (IsOctal(e)) {
          int value = 0;
          for (int n = 0; n < 3 && IsOctal(at(i)) && i < text.size(); ++n) value = value * 8 + (text[i++] - '0');
          word += static_cast<char>(value);
          continue;
        }
        if (e == 'x') {
          int value = 0;
          ++i;
          for (int n = 0; n < 2 && i < text.size() && HexValue(text[i]) >= 0; ++n) value = value * 16 + HexValue(text[i++]);
          word += static_cast<char>(value);
          continue;
        }
        const std::string_view from = "abfnrst", to = "\a\b\f\n\r \t";
        const size_t letter = from.find(e);
        word += letter == std::string_view::npos ? e : to[letter];
        ++i;
        continue;
      }
      if (quoted != 0) {
        if (d == quoted) quoted = 0; else word += d;
      } else if (d == '"' || d == '\'') {
        quoted = d;
      } else if (IsBlank(d) || d == '#') {
        break;
      } else {
        word += d;
      }
      ++i;
    }
    words.push_back(word.substr(0, halvorn::kPppMaxWordBytes));
  }
  return words;
}

// /bin/sh's reading of the connect command, as far as it goes: plain words,
// '…' and backslash escapes. Anything else the shell would act on (a "$", a
// backtick, a glob, a redirection…) is a finding.
std::vector<std::string> ShellWords(std::string_view command) {
  constexpr std::string_view kPlain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._+,:@%/=-";
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\'') {
      const size_t end = command.find('\'', i + 1);
      Check(end != std::string_view::npos);
      word.append(command.substr(i + 1, end - i - 1));
      i = end;
    } else if (c == '\\') {
      Check(i + 1 < command.size() && command[i + 1] != '\n');
      word += command[++i];
    } else {
      Check(kPlain.find(c) != std::string_view::npos);
      word += c;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

// chat's reading of its script: a line that starts with "#" is a comment;
// words are split on blanks and grouped by "…" or '…'; then "^X" stands for a
// control character and a backslash starts an escape. The tool's script needs
// no escape, so any "^" or "\" left in a word is a finding.
std::vector<std::string> ChatWords(std::string_view script) {
  std::vector<std::string> words;
  for (size_t start = 0; start < script.size();) {
    size_t end = script.find('\n', start);
    if (end == std::string_view::npos) end = script.size();
    const std::string_view line = script.substr(start, end - start);
    start = end + 1;
    Check(line.size() < 1024);  // chat reads a line of at most 1023 bytes
    if (line.substr(0, 1) == "#") continue;
    for (size_t i = 0; i < line.size();) {
      if (line[i] == ' ' || line[i] == '\t') {
        ++i;
        continue;
      }
      std::string_view word;
      if (line[i] == '"' || line[i] == '\'') {
        const size_t close = line.find(line[i], i + 1);
        Check(close != std::string_view::npos);
        word = line.substr(i + 1, close - i - 1);
        i = close + 1;
      } else {
        const size_t blank = std::min(line.find_first_of(" \t", i), line.size());
        word = line.substr(i, blank - i);
        i = blank;
      }
      Check(word.find_first_of("^\\") == std::string_view::npos);
      words.emplace_back(word);
    }
  }
  return words;
}

// `ras` refuses an operand longer than its record field before anything else.
bool FitsTheRecord(const std::vector<std::u16string>& operands, bool hasUser) {
  const size_t limits[] = {256, 127, 127, 0, 256, 256};
  for (size_t i = 0; i < operands.size(); ++i)
    if (limits[i] != 0 && (i != 5 || hasUser) && operands[i].size() > limits[i]) return false;
  return true;
}

// Whether `ras` takes the operands: the record's room, the phonebook's
// storable check and its name check, and a number chat can dial.
bool RasTakes(const std::vector<std::u16string>& operands) {
  static halvorn::PosixPhonebook phonebook("", "/etc");
  using halvorn::EntryOperand;
  const bool hasUser = operands[4] != u"-";
  if (!FitsTheRecord(operands, hasUser)) return false;
  const EntryOperand kinds[] = {EntryOperand::Connection, EntryOperand::Modem, EntryOperand::PhoneNumber,
                                EntryOperand::BaudRate,   EntryOperand::User,  EntryOperand::Password};
  for (size_t i = 0; i < operands.size(); ++i)
    if ((i != 5 || hasUser) && !phonebook.CanStore(kinds[i], operands[i].c_str())) return false;
  const std::string name = halvorn::EncodeUtf8(operands[0]);
  return halvorn::IsWellFormedEntryName(operands[0].c_str()) && name.find("..") == std::string::npos &&
         halvorn::HayesDialString(halvorn::EncodeUtf8(operands[2]));
}

std::string WithoutLeadingZeros(const std::string& digits) {
  return digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static halvorn::Utf8CodePage utf8;
  halvorn::InstallCodePage(&utf8);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The operands reach the tool as the command line's bytes, none with a NUL.
  std::vector<std::u16string> operands;
  for (std::string_view part : SplitInput(data, size, 6))
    operands.push_back(halvorn::DecodeUtf8KeepingBytes(part.substr(0, part.find('\0'))));
  if (!RasTakes(operands)) return 0;

  std::vector<std::string> bytes;
  for (const std::u16string& operand : operands) bytes.push_back(halvorn::EncodeUtf8(operand));
  const std::string &name = bytes[0], &modem = bytes[1], &phone = bytes[2], &speed = bytes[3];
  const std::string user = bytes[4] == "-" ? "" : bytes[4], &password = bytes[5];
  const halvorn::PppFolders folders("/etc");
  const halvorn::PppConnection connection{name, modem, phone, speed, user};

  // The peer file: the device, the speed, chat with the script's path, the
  // user and the name, each as one word pppd reads back whole.
  const std::string peer = halvorn::PeerFileText(folders, connection);
  const std::vector<std::string> words = PppdWords(peer);
  size_t w = 0;
  const auto next = [&]() -> const std::string& {
    Check(w < words.size());
    return words[w++];
  };
  const std::string device = halvorn::PppDevice(modem);
  Check(next() == device);
  if (modem.substr(0, 1) == "/") Check(device == modem);
  if (device == "/dev/modem" && modem != device)
    Check(peer.find("\n# modem: " + modem + "\n") != std::string::npos);
  if (const auto digits = halvorn::PppSpeed(speed)) {
    Check(next() == *digits && *digits == WithoutLeadingZeros(speed));
  }
  Check(next() == "connect");
  const std::vector<std::string> command = ShellWords(next());
  Check(command == std::vector<std::string>{"/usr/sbin/chat", "-v", "-f", folders.ChatScriptPath(name)});
  if (!user.empty()) {
    Check(next() == "user");
    Check(next() == user);
  }
  Check(next() == "remotename");
  Check(next() == name);
  Check(next() == "linkname");
  Check(next() == name);
  // Nothing of the operands is left for pppd to read as an option.
  const std::vector<std::string> plain = PppdWords(halvorn::PeerFileText(folders, {"x", "/dev/x", "1", "", ""}));
  Check(std::vector<std::string>(words.begin() + static_cast<long>(w), words.end()) ==
        std::vector<std::string>(plain.end() - static_cast<long>(words.size() - w), plain.end()));

  // The chat script dials the number's dial characters, nothing more.
  const std::vector<std::string> chat = ChatWords(halvorn::ChatScriptText(connection));
  size_t dialled = 0;
  for (size_t i = 0; i + 1 < chat.size(); ++i)
    if (chat[i] == "OK" && chat[i + 1].rfind("ATDT", 0) == 0) {
      std::string digits = phone;
      std::erase_if(digits, [](char c) { return std::string_view(" -.()[]").find(c) != std::string_view::npos; });
      Check(chat[i + 1] == "ATDT" + digits);
      ++dialled;
    }
  Check(dialled == 1);

  // The secrets entry: client, server and secret read back whole, no
  // wildcard and no file name among them; the tool finds its own entry again.
  if (!user.empty()) {
    const std::string entry = halvorn::SecretsEntry(user, name, password);
    Check(PppdWords(entry) == std::vector<std::string>{user, name, password});
    Check(user != "*" && name != "*" && password.substr(0, 1) != "@");
    std::string text = "# halvorn: " + name + "\n\"admin\" " + *halvorn::PppQuoted(name) + " x\n";
    const std::string before = text;
    Check(halvorn::PutSecretsEntry(text, name, entry) && halvorn::PutSecretsEntry(text, name, ""));
    Check(text == before);
  }
  return 0;
}
