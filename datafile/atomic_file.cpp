#include "datafile/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace kavro {
namespace {

// Closes a descriptor when it goes out of scope.
class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0) close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

  // Closes now and tells whether the close reported no error (a late write error shows here).
  bool CloseNow() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// The new content on its way to disk. Until Keep() it is removed again whatever happens, so a
// failed replacement leaves nothing behind in the user's folder.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!name_.empty()) unlink(name_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates a new hidden file ".<base>.XXXXXX" in `dir`; false with errno set on failure.
  // Like mkstemp, but with a creation mode of our choice: a brand-new data file gets the
  // same permissions as any file the user creates (the umask applies).
  bool Create(const std::string& dir, const std::string& base, mode_t mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = dir + "/." + base + "." + RandomSuffix();
      int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd >= 0) {
        fd_ = fd;
        name_ = std::move(name);
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  int fd() const { return fd_; }
  const std::string& name() const { return name_; }

  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

  // The file now has its final name: nothing left to clean up.
  void Keep() { name_.clear(); }

 private:
  static std::string RandomSuffix() {
    static std::uint64_t counter = 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t x = (static_cast<std::uint64_t>(getpid()) << 32) ^
                      static_cast<std::uint64_t>(now.tv_nsec) ^
                      (static_cast<std::uint64_t>(now.tv_sec) << 20) ^ (++counter * 0x9E3779B97F4A7C15ull);
    // splitmix64 finaliser: spreads every input bit over the suffix.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix(6, 'x');
    for (char& c : suffix) {
      c = kDigits[x % 36];
      x /= 36;
    }
    return suffix;
  }

  int fd_ = -1;
  std::string name_;
};

bool WriteAllAt(int fd, std::string_view data, off_t offset) {
  while (!data.empty()) {
    ssize_t n = pwrite(fd, data.data(), data.size(), offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
    offset += n;
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links on the last component of `path`, so that the link stays and its
// target gets the new content. A dangling link resolves to the name it points at.
bool ResolveLinks(const std::string& path, std::string& target) {
  std::string current = path;
  std::vector<char> buffer(PATH_MAX);
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = std::move(current);
      return true;
    }
    ssize_t n = readlink(current.c_str(), buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return false;
    std::string link(buffer.data(), static_cast<size_t>(n));
    current = link.front() == '/' ? link : DirectoryOf(current) + "/" + link;
  }
  return false;  // a loop of links
}

// A data file without write permission for us stays as it is. Root passes every access
// check, so a file without any write bit counts as read-only too.
bool MayWrite(const std::string& target, const struct stat& st) {
  return faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 && (st.st_mode & 0222) != 0;
}

// The rename itself is then durable too.
void SyncDirectory(const std::string& dir) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool MoveIntoPlace(const std::string& from, const std::string& to, ReplaceMode mode) {
  if (mode == ReplaceMode::kCreate) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    // Filesystems without the no-replace flag take the plain rename.
    if (errno != EINVAL && errno != ENOSYS) return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

// Last resort when the folder takes no new file: overwrite the existing file. The space for
// the longer content is reserved first, so a full disk fails before any old byte is touched.
int RewriteInPlace(const std::string& target, std::string_view content) {
  int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  FdCloser closer(fd);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  const off_t new_size = static_cast<off_t>(content.size());
  if (new_size > st.st_size) {
    if (posix_fallocate(fd, 0, new_size) != 0) {
      // Drop whatever part of the reservation was made; the old bytes were never touched.
      if (ftruncate(fd, st.st_size) != 0) {
      }
      return -1;
    }
  }
  if (!WriteAllAt(fd, content, 0)) return -1;
  if (ftruncate(fd, new_size) != 0) return -1;
  if (fsync(fd) != 0) return -1;
  return closer.CloseNow() ? 0 : -1;
}

}  // namespace

ReadOutcome ReadWholeFile(const std::string& path, std::string& content) {
  content.clear();
  if (path.empty()) return ReadOutcome::kMissing;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  FdCloser closer(fd);
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return ReadOutcome::kFailed;
  // One byte more than the size, so the read that sees the end needs no second allocation.
  size_t used = 0;
  content.resize(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 4096);
  for (;;) {
    if (used == content.size()) content.resize(content.size() * 2);
    ssize_t n = read(fd, content.data() + used, content.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      content.clear();
      return ReadOutcome::kFailed;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  content.resize(used);
  return ReadOutcome::kRead;
}

int ReplaceFileContent(const std::string& path, std::string_view content, ReplaceMode mode) {
  if (path.empty()) return -1;
  std::string target;
  if (!ResolveLinks(path, target)) return -1;
  const std::string dir = DirectoryOf(target);
  const std::string base = BaseNameOf(target);
  if (base.empty()) return -1;

  struct stat st;
  const bool exists = stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return -1;
  if (exists) {
    if (mode == ReplaceMode::kCreate || !S_ISREG(st.st_mode)) return -1;
    if (!MayWrite(target, st)) return -1;
  }

  // Where no file can be made in the folder, or the old one may not be renamed over (another
  // user's file in a sticky folder), the writable file is rewritten in place instead.
  auto refused = [] { return errno == EACCES || errno == EPERM; };
  TempFile temp;
  if (!temp.Create(dir, base, exists ? 0600 : 0666)) {
    return exists && refused() ? RewriteInPlace(target, content) : -1;
  }
  if (!WriteAllAt(temp.fd(), content, 0)) return -1;
  if (exists) {
    // Owner first: a change of owner clears set-id bits that the mode then restores.
    if (st.st_uid != geteuid() || st.st_gid != getegid()) {
      if (fchown(temp.fd(), st.st_uid, st.st_gid) != 0) {
        // We may not give it away: the file is then ours, with its content and mode intact.
      }
    }
    if (fchmod(temp.fd(), st.st_mode & 07777) != 0) return -1;
  }
  if (fsync(temp.fd()) != 0) return -1;
  if (!temp.Close()) return -1;
  if (!MoveIntoPlace(temp.name(), target, mode)) {
    return exists && refused() ? RewriteInPlace(target, content) : -1;
  }
  temp.Keep();
  SyncDirectory(dir);
  return 0;
}

}  // namespace kavro
