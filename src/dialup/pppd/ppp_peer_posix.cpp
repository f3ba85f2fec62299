#include "dialup/pppd/ppp_peer_posix.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "profile/locked_file_posix.h"
#include "serial/comm_posix.h"
#include "text/utf8.h"

namespace halvorn {

namespace {

constexpr mode_t kPeerFileMode = 0640;
constexpr char kChatProgram[] = "/usr/sbin/chat";

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Anything under the name counts, a dangling link too. A folder we may not
// look into hides nothing from us: writing there fails later on its own.
bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != EACCES);
}

// A word for /bin/sh, which runs pppd's connect command: quoted unless it is
// made of characters the shell takes literally.
std::string ShellWord(std::string_view text) {
  constexpr std::string_view kPlain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._+,:@%/=-";
  if (!text.empty() && text.find_first_not_of(kPlain) == std::string_view::npos)
    return std::string(text);
  std::string word = "'";
  for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

// The connect command: chat with the connection's script. pppd hands it to
// /bin/sh.
std::string ConnectCommand(const PppFolders& folders, std::string_view name) {
  return std::string(kChatProgram) + " -v -f " + ShellWord(folders.ChatScriptPath(name));
}

// pppd opens the chat script with the dialling user's own uid: they reach it
// through the dip group.
gid_t DipGroup() {
  const group* dip = getgrnam("dip");
  return dip != nullptr ? dip->gr_gid : kKeepGroup;
}

}  // namespace

std::string PppMarkerLine(std::string_view name) {
  return "# halvorn: " + std::string(name) + "\n";
}

std::optional<std::string> PppQuoted(std::string_view text) {
  if (text.size() > kPppMaxWordBytes) return std::nullopt;
  std::string word = "\"";
  for (char c : text) {
    if (IsControl(c)) return std::nullopt;
    if (c == '\\' || c == '"') word += '\\';
    word += c;
  }
  return word + "\"";
}

std::optional<std::string> HayesDialString(std::string_view phoneNumber) {
  std::string dial;
  for (char c : phoneNumber) {
    if (std::string_view(" -.()[]").find(c) != std::string_view::npos) continue;
    // chat gives "^" and "\" a meaning of their own; none of these has one.
    if ((c < '0' || c > '9') && std::string_view("*#,+WwPpTt!@").find(c) == std::string_view::npos)
      return std::nullopt;
    dial += c;
  }
  if (dial.empty()) return std::nullopt;
  return dial;
}

std::string PppDevice(std::string_view modem) {
  const std::string file = PosixComm::DeviceFileFor(DecodeUtf8KeepingBytes(modem).c_str());
  return !file.empty() && file.front() == '/' ? file : "/dev/modem";
}

std::optional<std::string> PppSpeed(std::string_view speed) {
  const size_t first = speed.find_first_not_of('0');
  if (speed.empty() || speed.find_first_not_of("0123456789") != std::string_view::npos ||
      first == std::string_view::npos)
    return std::nullopt;
  // pppd reads a leading 0 as octal: the number goes in without one.
  const std::string digits(speed.substr(first));
  if (digits.size() > 10 || std::stoull(digits) > INT_MAX) return std::nullopt;
  return digits;
}

std::string PppPidFilePath(std::string_view name) {
  return "/run/ppp-" + std::string(name) + ".pid";
}

std::string PppFolders::PeerPath(std::string_view name) const {
  return PeersFolder() + "/" + std::string(name);
}

std::string PppFolders::ChatScriptPath(std::string_view name) const {
  return ChatScriptsFolder() + "/" + std::string(name);
}

bool PppFolders::Present() const {
  struct stat peers {}, chatScripts {};
  return stat(PeersFolder().c_str(), &peers) == 0 && S_ISDIR(peers.st_mode) &&
         stat(ChatScriptsFolder().c_str(), &chatScripts) == 0 && S_ISDIR(chatScripts.st_mode);
}

int PppFolders::CheckWritable() const {
  for (const std::string& folder : {PeersFolder(), ChatScriptsFolder()})
    if (access(folder.c_str(), W_OK | X_OK) != 0) return errno;
  for (const std::string& secrets : {PapSecretsPath(), ChapSecretsPath()})
    if (int error = CheckSecretStore(secrets)) return error;
  return 0;
}

bool PppFolders::Taken(std::string_view name) const {
  return Exists(PeerPath(name)) || Exists(ChatScriptPath(name));
}

bool PppFolders::OwnedBy(std::string_view name) const {
  const std::string marker = PppMarkerLine(name);
  for (const std::string& path : {PeerPath(name), ChatScriptPath(name)}) {
    if (!Exists(path)) continue;
    std::string text;
    if (ReadFileLocked(path, text) != 0 || text.compare(0, marker.size(), marker) != 0)
      return false;
  }
  return true;
}

bool PppTakesName(const PppFolders& folders, std::string_view name) {
  return ConnectCommand(folders, name).size() <= kPppMaxWordBytes;
}

std::string PeerFileText(const PppFolders& folders, const PppConnection& connection) {
  const std::string device = PppDevice(connection.modem);
  std::string text = PppMarkerLine(connection.name);
  // A comment, which pppd skips to the line end whatever its length.
  if (device == "/dev/modem" && connection.modem != device) text += "# modem: " + connection.modem + "\n";
  text += *PppQuoted(device) + "\n";
  if (const auto speed = PppSpeed(connection.speed)) text += *speed + "\n";
  text += "connect " + *PppQuoted(ConnectCommand(folders, connection.name)) + "\n";
  if (!connection.user.empty()) text += "user " + *PppQuoted(connection.user) + "\n";
  // The secret is looked up by the connection, not by the login name alone.
  text += "remotename " + *PppQuoted(connection.name) + "\n";
  // pppd keeps its process id in a file named after the link (PppPidFilePath)
  // while it runs: hanging up signals that process and no other connection.
  text += "linkname " + *PppQuoted(connection.name) + "\n";
  // /etc/ppp/options asks for "auth"; a dial-out peer cannot give it.
  text += "noauth\n";
  text += "noipdefault\ndefaultroute\nusepeerdns\nhide-password\nlock\nmodem\ncrtscts\nmaxfail 3\n";
  return text;
}

std::string ChatScriptText(const PppConnection& connection) {
  std::string text = PppMarkerLine(connection.name);
  for (const char* abort : {"BUSY", "VOICE", "\"NO CARRIER\"", "\"NO DIALTONE\"",
                            "\"NO DIAL TONE\"", "\"NO ANSWER\"", "DELAYED", "ERROR"})
    text += std::string("ABORT ") + abort + "\n";
  text += "REPORT CONNECT\nTIMEOUT 10\n\"\" ATZ\n";
  text += "OK ATDT" + HayesDialString(connection.phoneNumber).value_or("") + "\n";
  text += "TIMEOUT 60\nCONNECT \"\"\n";
  return text;
}

int WritePeerFiles(const PppFolders& folders, const PppConnection& connection, bool replaceOwn) {
  for (const std::string* text : {&connection.name, &connection.modem, &connection.user})
    if (!PppQuoted(*text)) return EINVAL;
  if (!PppTakesName(folders, connection.name) || !PppQuoted(PppDevice(connection.modem))) return EINVAL;
  if (!HayesDialString(connection.phoneNumber)) return EINVAL;
  const gid_t dip = DipGroup();
  // Only root may hand a file to a group it is not in; anyone else keeps their own.
  const gid_t group = geteuid() == 0 ? dip : kKeepGroup;
  const bool replace = replaceOwn && folders.OwnedBy(connection.name);
  const std::string chatScript = folders.ChatScriptPath(connection.name);
  if (int error =
          PlaceFileLocked(chatScript, ChatScriptText(connection), kPeerFileMode, group, replace))
    return error;
  // The peer file comes last: pppd finds the connection whole or not at all.
  if (int error = PlaceFileLocked(folders.PeerPath(connection.name),
                                 PeerFileText(folders, connection), kPeerFileMode, group, replace)) {
    unlink(chatScript.c_str());
    return error;
  }
  return 0;
}

int RemovePeerFiles(const PppFolders& folders, std::string_view name) {
  const std::string marker = PppMarkerLine(name);
  const auto own = [&](const std::string& text) { return text.compare(0, marker.size(), marker) == 0; };
  if (int error = RemoveFileLocked(folders.PeerPath(name), own)) return error;
  return RemoveFileLocked(folders.ChatScriptPath(name), own);
}

}  // namespace halvorn
