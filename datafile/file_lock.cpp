#include "datafile/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kavro {
namespace {

// The locks a thread holds, with their nesting. A plain array: it needs no destruction, so a lock
// released while static objects are destroyed (a rewrite left open at exit) still finds it.
struct Held {
  pid_t pid;  // a child made by fork inherits the array, not the locks
  dev_t dev;
  ino_t ino;
  int fd;
  int count;  // 0: a free slot
};
constexpr int kMaxHeld = 16;
thread_local Held t_held[kMaxHeld];

Held* Find(pid_t pid, dev_t dev, ino_t ino) {
  for (Held& held : t_held) {
    if (held.count > 0 && held.pid == pid && held.dev == dev && held.ino == ino) return &held;
  }
  return nullptr;
}

Held* FreeSlot() {
  for (Held& held : t_held) {
    if (held.count == 0) return &held;
  }
  return nullptr;
}

// Lock files that cannot be had for these reasons do not stop the change: in a read-only folder,
// one closed to us or a missing one it is made without the lock or fails on its own, and a
// filesystem without locks gets none.
bool GoesAheadUnlocked(int error_number) {
  switch (error_number) {
    case EACCES:
    case EROFS:
    case EPERM:
    case ENOENT:
    case ENOTDIR:
    case ENOLCK:
    case EOPNOTSUPP:
    case ENOSYS: return true;
    default: return false;
  }
}

}  // namespace

DataFileLock::DataFileLock(const std::string& data_file) {
  if (data_file.empty()) return;
  const int failure = Take(data_file + ".lock");
  if (!GoesAheadUnlocked(failure)) error_ = FileErrorFromErrno(failure);
}

int DataFileLock::Take(const std::string& lock_file) {
  // Read access is enough for flock, so a lock file another user made can still be shared.
  // O_NONBLOCK keeps a FIFO of that name from stalling the open.
  int fd;
  do {
    fd = open(lock_file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  auto give_up = [fd](int failure) {
    close(fd);
    return failure;
  };
  struct stat st {};
  if (fstat(fd, &st) != 0) return give_up(errno);
  if (!S_ISREG(st.st_mode)) return give_up(EISDIR);  // worded "not a regular file"
  pid_ = getpid();
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  if (Held* held = Find(pid_, dev_, ino_)) {
    ++held->count;
    held_ = true;
    return give_up(0);
  }
  Held* slot = FreeSlot();
  if (slot == nullptr) return give_up(EMFILE);
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return give_up(errno);
  }
  *slot = {pid_, dev_, ino_, fd, 1};
  held_ = true;
  return 0;
}

DataFileLock::~DataFileLock() {
  if (!held_) return;
  Held* held = Find(pid_, dev_, ino_);
  if (held == nullptr || --held->count > 0) return;
  // In a child made by fork the lock is the parent's: closing our copy of the descriptor leaves
  // it held, an unlock would not.
  if (held->pid == getpid()) flock(held->fd, LOCK_UN);
  close(held->fd);
}

}  // namespace kavro
