// The dial-up connection as Linux's pppd dials it: a peer file that
// `pppd call NAME` (or `pon NAME`) reads, and the chat script it runs to make
// the modem dial. Both live in the folders the ppp package provides, under a
// configuration root that is /etc on a real system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halvorn {

// First line of every file (and every secrets entry) this tool writes for a
// connection: "# halvorn: NAME".
std::string PppMarkerLine(std::string_view name);

// pppd reads a word of its option and secrets files into a buffer of 1024
// bytes: a longer one is cut, with only a warning, and means something else.
inline constexpr size_t kPppMaxWordBytes = 1023;

// Text as one word of pppd's option and secrets files: in double quotes, with
// "\" as "\\" and '"' as "\"". None when it holds a control character, which
// no such file can carry on one line, or is longer than pppd reads.
std::optional<std::string> PppQuoted(std::string_view text);

// The dial string chat sends after ATDT: the Hayes dial characters of the
// number (digits and *#,+WwPpTt!@), with blanks, dashes, dots and brackets
// dropped. None for any other character or when nothing is left to dial.
std::optional<std::string> HayesDialString(std::string_view phoneNumber);

// The device pppd opens for the modem operand: COMn is /dev/ttyS(n-1), an
// absolute path is used as it is, and any other name (a Windows modem name)
// is /dev/modem, the link an administrator points at the modem.
std::string PppDevice(std::string_view modem);

// The speed as pppd reads it (a plain decimal number from 1 up); none for a
// text that is no such number, which leaves the port's own speed.
std::optional<std::string> PppSpeed(std::string_view speed);

// One connection as the tool's phonebook holds it, in UTF-8.
struct PppConnection {
  std::string name;
  std::string modem;        // the operand as typed
  std::string phoneNumber;  // as typed; HayesDialString accepts it
  std::string speed;        // as typed; may be empty
  std::string user;         // empty: no user line and no secrets
};

// Where pppd's files live below the configuration root.
class PppFolders {
 public:
  explicit PppFolders(std::string root) : m_strRoot(std::move(root)) {}

  std::string PeersFolder() const { return m_strRoot + "/ppp/peers"; }
  std::string ChatScriptsFolder() const { return m_strRoot + "/chatscripts"; }
  std::string PeerPath(std::string_view name) const;
  std::string ChatScriptPath(std::string_view name) const;
  std::string PapSecretsPath() const { return m_strRoot + "/ppp/pap-secrets"; }
  std::string ChapSecretsPath() const { return m_strRoot + "/ppp/chap-secrets"; }
  // The lock runs of this tool take while they write any of these files.
  std::string LockPath() const { return m_strRoot + "/ppp/.halvorn.lock"; }

  // Both folders are there (the ppp package is installed).
  bool Present() const;
  // 0 when the caller may write a connection's files: the peer file, the
  // chat script and both secrets files; EACCES or another errno value when
  // not, found without writing anything.
  int CheckWritable() const;
  // A peer file or chat script of that name exists, whatever it is.
  bool Taken(std::string_view name) const;
  // Each of the connection's peer file and chat script that exists is one
  // this tool wrote for it (its first line is the connection's marker).
  bool OwnedBy(std::string_view name) const;

 private:
  std::string m_strRoot;
};

// Whether pppd reads every word of the peer file of a connection of that
// name whole. The connect command holds the chat script's path as one word
// for the shell, where each "'" of the name takes four bytes.
bool PppTakesName(const PppFolders& folders, std::string_view name);

// The file pppd writes, for as long as the connection runs, under the peer
// file's linkname (the connection's name): its process id on the first line.
std::string PppPidFilePath(std::string_view name);

std::string PeerFileText(const PppFolders& folders, const PppConnection& connection);
std::string ChatScriptText(const PppConnection& connection);

// Creates the chat script, then the peer file, each whole or not at all, with
// owner root, group dip (pppd runs the chat script with the caller's own uid)
// and mode 0640. An existing file is never replaced. Returns 0 or an errno
// value (EINVAL for a text the files cannot carry); on failure nothing of the
// connection is left behind. With replaceOwn, files this tool wrote for the
// connection before (see PppFolders::OwnedBy) are replaced.
int WritePeerFiles(const PppFolders& folders, const PppConnection& connection,
                   bool replaceOwn = false);

// Removes the connection's peer file, then its chat script, each only when
// this tool wrote it for the connection. Returns 0 or an errno value.
int RemovePeerFiles(const PppFolders& folders, std::string_view name);

}  // namespace halvorn
