// Crash-safe, concurrency-safe read-modify-write of a small text file on POSIX.
//
// The whole update runs under flock on the file's folder, so no lock file is
// left beside it. The new text goes to a short-named temporary file in the same
// folder (every write, fsync and close checked) and is renamed over the old
// one, keeping its mode and owner; on any error the old file stays as it was.
// The next update in the folder removes a temporary file that a killed run
// left (temporary_file_posix.h says how one is told from anyone else's).
// Every path is treated as hostile:
// - only a missing name or a regular file is written or read; a device, FIFO,
//   socket or folder is refused without being waited on;
// - a symbolic link is followed only where the kernel's protected_symlinks
//   rule would follow it (never one that another user planted in a sticky,
//   world-writable folder), whatever the machine's own setting;
// - a file without any write bit is refused, as Windows refuses a read-only
//   file, even for root;
// - the lock is waited for a bounded time (10 s), then the update fails.
// A missing folder is not created. The lock is not reentrant: an edit must not
// update another file of the same folder.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace halvorn {

// How much a file is trusted with.
enum class FileSecrecy {
  kPlain,
  // For secrets, as ssh's StrictModes: the folder must be writable by no one
  // but the caller (owned by the caller or root, no group or other write bit;
  // its ancestors likewise unless sticky), the file is opened without following
  // a link and must be the caller's own, and it gets newFileMode on every write.
  // Anything else fails with EACCES before anything is written.
  kSecret,
};

// edit receives the current text (empty when the file does not exist) and
// returns true to have the changed text written, false to leave the file alone.
// newFileMode applies to a file that did not exist; group and other write bits
// are never given, and a stricter umask is honoured. Returns 0 or an errno
// value (ETIMEDOUT when the lock stayed taken).
int UpdateFileLocked(const std::string& path, const std::function<bool(std::string& text)>& edit,
                     mode_t newFileMode = 0644, FileSecrecy secrecy = FileSecrecy::kPlain);

// Reads the whole file. Writers replace files by rename, so a reader sees one
// whole version without waiting for the lock. Returns 0 or an errno value
// (ENOENT for a missing file); the same paths are refused as for an update.
int ReadFileLocked(const std::string& path, std::string& text);

inline constexpr gid_t kKeepGroup = static_cast<gid_t>(-1);

// Puts a small file in place whole, under the same folder lock and with the
// same temporary files as an update: readers see no file or all of it, never
// a mode wider than mode. The group is set unless it is kKeepGroup. A link at
// the name is refused (EACCES); an existing file is replaced only when replace
// is set and it is a regular file, otherwise it stays and EEXIST is returned.
// Returns 0 or an errno value.
int PlaceFileLocked(const std::string& path, const std::string& text, mode_t mode, gid_t group,
                    bool replace);

// Removes the regular file at path, under its folder's lock, when remove says
// so of its text; a missing file is no error. No link is followed. Returns 0
// or an errno value.
int RemoveFileLocked(const std::string& path,
                     const std::function<bool(const std::string& text)>& remove);

// One writer at a time for a set of files, whatever folders they are in: an
// exclusive flock on a lock file of the caller's own (mode 0600, so that no
// one else can open it, let alone hold it), waited for a bounded time (10 s,
// then ETIMEDOUT). While it is held, the updates above take no folder lock:
// every writer of those files holds this lock first, and a folder that
// anyone may open, such as /etc/ppp, could otherwise be held by anyone. The
// file is removed as the lock is let go, so none is left behind.
class WriterLock {
 public:
  WriterLock() = default;
  ~WriterLock();
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  // 0 once held, or an errno value (EACCES for a lock file that is not the
  // caller's own regular file of mode 0600, or that has another name too).
  int Acquire(const std::string& path);
  // Removes a lock file that a killed run left and no one holds, without
  // waiting; anything else at path stays.
  static void RemoveStale(const std::string& path);
  void Release();
  bool Held() const { return m_fdLock >= 0; }

 private:
  int m_fdLock = -1;
  std::string m_strPath;
};

// Whether an update with FileSecrecy::kSecret could write path, checked
// without writing anything: 0 when it could (or when its folder does not exist
// yet), EACCES when the folder or the file would be refused (a file without
// any write bit included), or another errno value.
int CheckSecretStore(const std::string& path);

}  // namespace halvorn
