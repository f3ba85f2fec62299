#include "dialup/shortcut/desktop_launcher_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "dialup/pppd/ppp_peer_posix.h"
#include "profile/locked_file_posix.h"

namespace halvorn {

namespace {

constexpr mode_t kLauncherMode = 0755;
constexpr char kPon[] = "/usr/bin/pon";
constexpr char kPkill[] = "/usr/bin/pkill";
constexpr char kPppd[] = "/usr/sbin/pppd";
constexpr size_t kMaxUserDirsBytes = 65536;

std::string ExecLine(std::initializer_list<std::string_view> arguments) {
  std::string line;
  for (std::string_view argument : arguments)
    line += (line.empty() ? "" : " ") + DesktopExecArgument(argument);
  return DesktopEscaped(line);
}

// The user who ran `sudo halvorn ...`; none when the tool runs as itself.
const passwd* SudoUser() {
  const char* name = std::getenv("SUDO_USER");
  if (geteuid() != 0 || name == nullptr || *name == '\0') return nullptr;
  const passwd* user = getpwnam(name);
  return user != nullptr && user->pw_uid != 0 ? user : nullptr;
}

// A small regular file read whole; none for anything else (a FIFO would
// hang the run, a device would never end).
std::optional<std::string> ReadSmallFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::string> text;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<size_t>(info.st_size) <= kMaxUserDirsBytes) {
    text.emplace(static_cast<size_t>(info.st_size), '\0');
    const ssize_t got = read(fd, text->data(), text->size());
    if (got < 0) text.reset();
    else text->resize(static_cast<size_t>(got));
  }
  close(fd);
  return text;
}

// Takes on the identity of the user who invoked sudo for the life of the
// object, so that what is written is theirs and reaches only what they may
// reach; without sudo nothing changes.
class InvokingUserScope {
 public:
  InvokingUserScope() {
    const passwd* user = SudoUser();
    if (user == nullptr) return;
    m_vecSavedGroups.resize(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
    m_vecSavedGroups.resize(static_cast<size_t>(
        std::max(getgroups(static_cast<int>(m_vecSavedGroups.size()), m_vecSavedGroups.data()), 0)));
    m_nSavedGid = getegid();
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
      groups.resize(static_cast<size_t>(count));
      getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count);
    }
    groups.resize(static_cast<size_t>(std::max(count, 0)));
    m_bSwitched = true;
    m_bOk = setgroups(groups.size(), groups.data()) == 0 && setegid(user->pw_gid) == 0 &&
            seteuid(user->pw_uid) == 0;
  }
  ~InvokingUserScope() {
    if (!m_bSwitched) return;
    if (seteuid(0) != 0 || setegid(m_nSavedGid) != 0 ||
        setgroups(m_vecSavedGroups.size(), m_vecSavedGroups.data()) != 0)
      std::abort();  // never go on with a half-restored identity
  }
  InvokingUserScope(const InvokingUserScope&) = delete;
  InvokingUserScope& operator=(const InvokingUserScope&) = delete;

  // False when the identity could not be taken on: nothing may be written.
  bool Ok() const { return m_bOk; }

 private:
  bool m_bSwitched = false;
  bool m_bOk = true;
  gid_t m_nSavedGid = 0;
  std::vector<gid_t> m_vecSavedGroups;
};

// Whether path is a launcher this tool wrote, for any connection: a regular
// file whose first line is a marker.
bool IsOwnLauncher(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::string marker = PppMarkerLine("");
  marker.pop_back();  // the line end
  const auto text = ReadSmallFile(path);
  return text && text->compare(0, marker.size(), marker) == 0;
}

}  // namespace

std::string DesktopExecArgument(std::string_view argument) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string plain;
  for (char c : argument) plain += c == '%' ? std::string("%%") : std::string(1, c);
  if (!argument.empty() && argument.find_first_of(kReserved) == std::string_view::npos) return plain;
  std::string quoted = "\"";
  for (char c : plain) {
    if (std::string_view("\"`$\\").find(c) != std::string_view::npos) quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string DesktopEscaped(std::string_view value) {
  std::string escaped;
  for (char c : value) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return escaped;
}

bool PonTakes(std::string_view name) {
  return !name.empty() && name.front() != '-' && name.find_first_of(" \t\n") == std::string_view::npos;
}

std::string LauncherText(std::string_view name) {
  const bool pon = PonTakes(name);
  std::string text = PppMarkerLine(name);
  text += "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  text += "Name=" + DesktopEscaped(name) + "\n";
  text += "Comment=Dial the connection " + DesktopEscaped(name) + "\n";
  text += "Exec=" + (pon ? ExecLine({kPon, name}) : ExecLine({kPppd, "call", name})) + "\n";
  text += std::string("TryExec=") + (pon ? kPon : kPppd) + "\n";
  text += "Icon=modem\nTerminal=false\nCategories=Network;Dialup;\nActions=HangUp;\n\n";
  text += "[Desktop Action HangUp]\nName=Hang up\n";
  // poff matches a pattern built from the name, which also finds "NAME b":
  // this stops only the pppd whose process id the connection's pid file
  // holds, and only while that process is a pppd (a stale file may name a
  // process id that was given out again).
  text += "Exec=" + ExecLine({kPkill, "--pidfile", PppPidFilePath(name), "--exact", "pppd"}) + "\n";
  return text;
}

std::optional<std::string> UserDirsDesktop(std::string_view userDirs, std::string_view home) {
  constexpr std::string_view kKey = "XDG_DESKTOP_DIR=\"";
  std::optional<std::string> desktop;
  for (size_t start = 0; start < userDirs.size();) {
    size_t end = userDirs.find('\n', start);
    if (end == std::string_view::npos) end = userDirs.size();
    std::string_view line = userDirs.substr(start, end - start);
    start = end + 1;
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    if (line.substr(0, kKey.size()) != kKey) continue;
    line.remove_prefix(kKey.size());
    std::string value;
    bool closed = false;
    for (size_t i = 0; i < line.size() && !closed; ++i) {
      if (line[i] == '"') closed = true;
      else if (line[i] == '\\' && i + 1 < line.size()) value += line[++i];
      else value += line[i];
    }
    if (!closed) continue;
    if (value == "$HOME" || value.compare(0, 6, "$HOME/") == 0)
      desktop = std::string(home) + value.substr(5);
    else if (!value.empty() && value.front() == '/')
      desktop = value;
  }
  return desktop;
}

std::optional<std::string> UserDesktopFolder() {
  if (const char* xdg = std::getenv("XDG_DESKTOP_DIR"); xdg != nullptr && *xdg != '\0') return xdg;
  std::string home;
  if (const passwd* user = SudoUser()) {
    home = user->pw_dir;
  } else if (const char* own = std::getenv("HOME"); own != nullptr && *own != '\0') {
    home = own;
  } else {
    return std::nullopt;
  }
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  const InvokingUserScope user;  // their file, read with their rights
  if (!user.Ok()) return std::nullopt;
  if (const auto text = ReadSmallFile(home + "/.config/user-dirs.dirs"))
    if (auto desktop = UserDirsDesktop(*text, home)) return desktop;
  return home + "/Desktop";
}

bool EnterDesktopFolder(const std::string& folder) {
  // Entered as root, a folder on a path the user may not search would let
  // the launcher land where they cannot reach it.
  const InvokingUserScope user;
  return user.Ok() && chdir(folder.c_str()) == 0;
}

bool SaveLauncher(const std::string& fileName, std::string_view name, const UndoSink& onUndo) {
  const InvokingUserScope user;
  if (!user.Ok()) return false;
  struct stat info {};
  const bool exists = lstat(fileName.c_str(), &info) == 0;
  if (exists && !IsOwnLauncher(fileName)) return false;
  const std::optional<std::string> earlier = exists ? ReadSmallFile(fileName) : std::nullopt;
  if (exists && !earlier) return false;
  const std::string text = LauncherText(name);
  if (PlaceFileLocked(fileName, text, kLauncherMode, kKeepGroup, exists) != 0) return false;
  if (onUndo) {
    // The undo runs later, wherever the run is by then.
    char folder[PATH_MAX];
    const std::string path =
        fileName.front() == '/' || getcwd(folder, sizeof folder) == nullptr
            ? fileName
            : std::string(folder) + "/" + fileName;
    onUndo([path, earlier, text] {
      const InvokingUserScope user;
      if (!user.Ok()) return EPERM;
      if (earlier) return PlaceFileLocked(path, *earlier, kLauncherMode, kKeepGroup, true);
      return RemoveFileLocked(path, [&](const std::string& now) { return now == text; });
    });
  }
  return true;
}

}  // namespace halvorn
