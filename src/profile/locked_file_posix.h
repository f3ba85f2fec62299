// Crash-safe, concurrency-safe read-modify-write of a small text file on POSIX.
//
// The whole update runs under flock on a separate lock file, "<path>.lock",
// that is never deleted. The new text goes to a temporary file in the same
// folder (every write, fsync and close checked) and is renamed over the old
// one, keeping its mode; on any error the old file stays as it was. A missing
// folder is not created and a file we may not write to is not replaced: the
// update fails.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace halvorn {

// edit receives the current text (empty when the file does not exist) and
// returns true to have the changed text written, false to leave the file alone.
// newFileMode applies to a file that did not exist. Returns 0 or an errno value.
int UpdateFileLocked(const std::string& path, const std::function<bool(std::string& text)>& edit,
                     mode_t newFileMode = 0644);

// Reads the whole file under the same lock. Returns 0 or an errno value
// (ENOENT for a missing file).
int ReadFileLocked(const std::string& path, std::string& text);

}  // namespace halvorn
