// The words `ras` writes for pppd and chat, read back as those programs read
// them: from any operands (name, modem, phone number, speed, user, password,
// as bytes split at NUL), the peer file, the chat script and the secrets entry
// give every operand back exactly, or `ras` refuses the operands before it
// writes anything.
#include <algorithm>
#include <cctype>
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

// pppd's reading of an option or secrets file: words split on blanks, "…" and
// '…' group, "#" outside quotes starts a comment (mid-word too), a backslash
// takes the next character, backslash-newline is nothing, and a word keeps
// 1023 bytes. pppd reads \ooo, \xHH and \ with a C letter as escapes of its
// own, which the tool never writes: a backslash before a letter or digit is a
// finding.
std::vector<std::string> PppdWords(std::string_view text) {
  std::vector<std::string> words;
  for (size_t i = 0; i < text.size();) {
    if (text.substr(i, 2) == "\\\n") {
      i += 2;
    } else if (IsBlank(text[i])) {
      ++i;
    } else if (text[i] == '#') {
      i = std::min(text.find('\n', i), text.size());
    } else {
      std::string word;
      for (char quoted = 0; i < text.size(); ++i) {
        const char d = text[i];
        if (d == '\\') {
          if (++i == text.size() || text[i] == '\n') continue;
          Check(std::isalnum(static_cast<unsigned char>(text[i])) == 0);
          word += text[i];
        } else if (quoted != 0) {
          if (d == quoted) quoted = 0; else word += d;
        } else if (d == '"' || d == '\'') {
          quoted = d;
        } else if (IsBlank(d) || d == '#') {
          break;
        } else {
          word += d;
        }
      }
      words.push_back(word.substr(0, halvorn::kPppMaxWordBytes));
    }
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
  for (size_t i = 0; i < command.size(); ++i) {
    if (command[i] == ' ' || command[i] == '\t') continue;
    std::string word;
    for (; i < command.size() && command[i] != ' ' && command[i] != '\t'; ++i) {
      if (command[i] == '\'') {
        const size_t end = command.find('\'', i + 1);
        Check(end != std::string_view::npos);
        word.append(command.substr(i + 1, end - i - 1));
        i = end;
      } else if (command[i] == '\\') {
        Check(i + 1 < command.size() && command[i + 1] != '\n');
        word += command[++i];
      } else {
        Check(kPlain.find(command[i]) != std::string_view::npos);
        word += command[i];
      }
    }
    words.push_back(word);
  }
  return words;
}

// Whether `ras` takes the operands: the record's room for the modem and the
// number (the phonebook's checks bound the others), the phonebook's storable
// check and its name check, and a number chat can dial.
bool RasTakes(const std::vector<std::u16string>& operands) {
  static halvorn::PosixPhonebook phonebook("", "/etc");
  using halvorn::EntryOperand;
  const bool hasUser = operands[4] != u"-";
  if (operands[1].size() > 127 || operands[2].size() > 127) return false;
  const EntryOperand kinds[] = {EntryOperand::Connection, EntryOperand::Modem, EntryOperand::PhoneNumber,
                                EntryOperand::BaudRate,   EntryOperand::User,  EntryOperand::Password};
  for (size_t i = 0; i < operands.size(); ++i)
    if ((i != 5 || hasUser) && !phonebook.CanStore(kinds[i], operands[i].c_str())) return false;
  const std::string name = halvorn::EncodeUtf8(operands[0]);
  return halvorn::IsWellFormedEntryName(operands[0].c_str()) && name.find("..") == std::string::npos &&
         halvorn::HayesDialString(halvorn::EncodeUtf8(operands[2]));
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
    Check(next() == *digits && *digits == speed.substr(speed.find_first_not_of('0')));
  }
  Check(next() == "connect");
  const std::vector<std::string> command = ShellWords(next());
  Check(command == std::vector<std::string>{"/usr/sbin/chat", "-v", "-f", folders.ChatScriptPath(name)});
  if (!user.empty())
    for (const std::string& want : {std::string("user"), user}) Check(next() == want);
  for (const std::string& want : {std::string("remotename"), name, std::string("linkname"), name})
    Check(next() == want);
  // Nothing of the operands is left for pppd to read as an option.
  const std::vector<std::string> plain = PppdWords(halvorn::PeerFileText(folders, {"x", "/dev/x", "1", "", ""}));
  Check(std::vector<std::string>(words.begin() + static_cast<long>(w), words.end()) ==
        std::vector<std::string>(plain.end() - static_cast<long>(words.size() - w), plain.end()));

  // The chat script: the plain one but for its first line, a comment chat
  // reads whole, and the dial line, whose words chat reads as OK and ATDT
  // with the number's dial characters (no blank, quote, "^" or "\\" chat acts on).
  std::string digits = phone;
  std::erase_if(digits, [](char c) { return std::string_view(" -.()[]").find(c) != std::string_view::npos; });
  Check(digits.find_first_of(" \t\"'^\\") == std::string::npos);
  std::string body = halvorn::ChatScriptText({"x", "/dev/x", "1", "", ""});
  body.replace(body.find("\nOK ATDT1\n"), 10, "\nOK ATDT" + digits + "\n");
  const std::string script = halvorn::ChatScriptText(connection);
  const size_t marker = script.find('\n');
  Check(script[0] == '#' && marker < 1024 && script.substr(marker) == body.substr(body.find('\n')));

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
