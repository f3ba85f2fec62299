#include "dialup/entry/entry_transaction_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace halvorn {

namespace {

// Like the all-users phonebook on Windows, the entries are for every user to read.
constexpr mode_t kFolderMode = 0755;

}  // namespace

int CreateFolders(const std::string& folder, std::vector<std::string>* created) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty()) {
      if (mkdir(part.c_str(), kFolderMode) == 0) {
        if (created != nullptr) created->push_back(part);
      } else if (errno != EEXIST) {
        return errno;
      }
    }
    if (slash == std::string::npos) return 0;
  }
}

int EntryTransaction::Begin(const std::string& folder, const std::string& lockName,
                            const std::vector<std::string>& sharedLocks) {
  m_vecCreatedFolders.clear();
  m_vecUndo.clear();
  int error = CreateFolders(folder, &m_vecCreatedFolders);
  if (error == 0) error = m_deqLocks.emplace_back().Acquire(folder + "/" + lockName);
  for (const std::string& shared : sharedLocks)
    if (error == 0) error = m_deqLocks.emplace_back().Acquire(shared);
  if (error != 0) {
    Rollback();
    return error;
  }
  m_bActive = true;
  return 0;
}

void EntryTransaction::OnUndo(std::function<int()> step) {
  if (m_bActive) m_vecUndo.push_back(std::move(step));
}

int EntryTransaction::End(bool keep, const std::function<int()>& commit) {
  if (!m_bActive) return 0;
  const int error = keep ? commit() : 0;
  if (keep && error == 0) {
    m_vecUndo.clear();
    m_vecCreatedFolders.clear();
  }
  Rollback();
  return error;
}

void EntryTransaction::Rollback() {
  // An undo step that fails leaves the entry marked unfinished, which the
  // next run for the name completes: there is nothing better to do here.
  for (auto step = m_vecUndo.rbegin(); step != m_vecUndo.rend(); ++step) (*step)();
  m_vecUndo.clear();
  // Let go in the opposite order of taking.
  while (!m_deqLocks.empty()) m_deqLocks.pop_back();
  // Only folders this run made, and only when empty again.
  for (auto made = m_vecCreatedFolders.rbegin(); made != m_vecCreatedFolders.rend(); ++made)
    rmdir(made->c_str());
  m_vecCreatedFolders.clear();
  m_bActive = false;
}

}  // namespace halvorn
