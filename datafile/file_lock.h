// An exclusive lock held across one read-modify-write of the data file, so that programs sharing
// the file never lose each other's changes.
//
// The lock is an flock on "<data file path>.lock" (made when missing, mode 0666 less the umask,
// and never removed: removing a lock file races with its next user). Constructing waits for as
// long as another process or another thread holds it. A thread that holds it already for the
// same lock file just nests (the file is known by its identity, not by the spelling of the path);
// the lock goes with the last nested object, which must be destroyed on the thread that took it.
// An empty path locks nothing. Where the lock file cannot be made or opened because its folder is
// read-only or not ours to write (EACCES, EROFS, EPERM) or missing, or where the filesystem has no
// locks, the change goes ahead unlocked and reports its own failure as it would without the lock.
// Any other failure shows in error(), and the change is then not to be made.
#pragma once

#include <sys/types.h>

#include <string>

#include "datafile/file_error.h"

namespace kavro {

class DataFileLock {
 public:
  explicit DataFileLock(const std::string& data_file);
  ~DataFileLock();
  DataFileLock(const DataFileLock&) = delete;
  DataFileLock& operator=(const DataFileLock&) = delete;

  // kNone while the lock is held or the change may go ahead unlocked.
  const FileError& error() const { return error_; }

 private:
  // 0 once the lock is held or nested, else why not (an errno).
  int Take(const std::string& lock_file);

  bool held_ = false;
  pid_t pid_ = 0;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  FileError error_;
};

}  // namespace kavro
