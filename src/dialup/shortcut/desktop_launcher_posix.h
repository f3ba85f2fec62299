// The desktop shortcut on Linux: a launcher in the freedesktop Desktop Entry
// format that dials the connection through pppd, with a "Hang up" action.
// Run through sudo, the tool puts it on the invoking user's desktop, as theirs.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace halvorn {

// One argument of an Exec line by the Desktop Entry rules, before the file's
// own escaping: "%" as "%%", and in double quotes, with '"', '`', '$' and '\'
// escaped, when it holds a reserved character.
std::string DesktopExecArgument(std::string_view argument);

// A string value as the file holds it: "\" as "\\".
std::string DesktopEscaped(std::string_view value);

// Whether `pon NAME` reaches the peer: pon passes the name to pppd unquoted
// and takes a leading "-" for an option.
bool PonTakes(std::string_view name);

// The whole launcher of the connection.
std::string LauncherText(std::string_view name);

// The desktop named by the last XDG_DESKTOP_DIR line of a user-dirs.dirs text
// ("$HOME/..." or an absolute path, in double quotes); none without one.
std::optional<std::string> UserDirsDesktop(std::string_view userDirs, std::string_view home);

// The desktop folder: $XDG_DESKTOP_DIR, else the user-dirs.dirs line of the
// user's home, else HOME/Desktop. The user is the one who invoked sudo when
// the tool runs as root through it, their files read with their rights;
// otherwise the one in $HOME.
std::optional<std::string> UserDesktopFolder();

// Makes folder the current folder, as the invoking user under sudo: false
// when they may not enter it.
bool EnterDesktopFolder(const std::string& folder);

// Takes a step that undoes a write (returning 0 or an errno value), to run
// should the run that made the write fail.
using UndoSink = std::function<void(std::function<int()>)>;

// Saves the launcher of the connection as fileName in the current folder, as
// the invoking user under sudo. A file of that name that this tool did not
// write stays as it is, and the save fails. onUndo, when set, gets the step
// that takes the save back (the earlier launcher, or none, as the user again).
bool SaveLauncher(const std::string& fileName, std::string_view name,
                  const UndoSink& onUndo = {});

}  // namespace halvorn
