// One `ras` run on POSIX as one transaction over every file it writes: the
// phonebook, the credential store, pppd's secrets files, peer file and chat
// script, and the launcher. The run holds the phonebook's writer lock from the
// name check to its end, so runs for one phonebook take turns and none of them
// waits on a folder lock that another user could hold. Each write first
// records how to take itself back; a run that fails takes back everything it
// wrote, newest first, so that the files are as they were and the same
// command works once the cause is mended.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "profile/locked_file_posix.h"

namespace halvorn {

// Creates every missing folder of folder, each with mode 0755 (less what the
// umask takes away), adding each one made to created. Returns 0 or an errno value.
int CreateFolders(const std::string& folder, std::vector<std::string>* created = nullptr);

class EntryTransaction {
 public:
  // Creates the missing folders of folder (mode 0755) and takes the writer
  // lock in it, lockName, then each of sharedLocks (the locks of files that
  // other phonebooks' runs write too), in that order. Returns 0 or an errno
  // value; on failure nothing is held and nothing created is left.
  int Begin(const std::string& folder, const std::string& lockName,
            const std::vector<std::string>& sharedLocks = {});
  bool Active() const { return m_bActive; }

  // A step that takes back a write, returning 0 or an errno value.
  void OnUndo(std::function<int()> step);

  // Ends the run: with keep, commit makes it final (a failing commit counts
  // as a failed run); otherwise, or then, every undo step runs, newest first,
  // and the folders Begin created go again. Returns the commit's errno value,
  // or 0.
  int End(bool keep, const std::function<int()>& commit);

 private:
  void Rollback();

  bool m_bActive = false;
  std::deque<WriterLock> m_deqLocks;
  std::vector<std::string> m_vecCreatedFolders;
  std::vector<std::function<int()>> m_vecUndo;
};

}  // namespace halvorn
