// Puts a new small file in place whole: readers see no file or all of it,
// never a part, and never a mode wider than the one asked for.
#pragma once

#include <sys/types.h>

#include <string>

namespace halvorn {

inline constexpr gid_t kKeepGroup = static_cast<gid_t>(-1);

// Writes text to a temporary file beside path, sets its group (unless
// kKeepGroup) and mode, and moves it to path. An existing path is replaced
// only when replace is set; otherwise it stays and EEXIST is returned.
// Returns 0 or an errno value; on failure no temporary file is left.
int PlaceWholeFile(const std::string& path, const std::string& text, mode_t mode, gid_t group,
                   bool replace);

}  // namespace halvorn
