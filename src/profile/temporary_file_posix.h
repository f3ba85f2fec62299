// The temporary files that the locked file updates write a new text to before
// renaming it into place. A temporary file is named after its own inode
// (".~hvn" and a six-character digest of it; where no file can be made without
// a name, made empty as ".~hvr" and six random characters first) and stays
// flocked while its run lives, so that the next run removes one left by a
// killed run, and nothing else of that look.
#pragma once

#include <string>

#include "profile/file_descriptor_posix.h"

namespace halvorn {

// Creates a temporary file in the folder that no other process uses, flocked
// for as long as it is open, under the name its inode proves. It is made
// without a name where the file system allows, so that a run killed before it
// is named leaves nothing behind. Returns 0 or an errno value.
int CreateTemporary(int folder, std::string& name, FileDescriptor& file);

// Removes the temporary files that runs of this tool left when they were
// killed. A file is taken for one only with proof: it is the caller's own
// regular file, no live run holds it (a run keeps its temporary file flocked
// until it is renamed or removed), and its name carries the tag of its own
// inode, or, made where a file cannot be made without a name, it is a random
// name's file still empty (killed before it got its tagged name, which comes
// before any byte). Anything else of that look stays.
void RemoveDeadTemporaries(int folder);

}  // namespace halvorn
