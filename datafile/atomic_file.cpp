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

  // The descriptor is handed on: not closed here.
  void Release() { fd_ = -1; }

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
    std::uint64_t x =
        (static_cast<std::uint64_t>(getpid()) << 32) ^ static_cast<std::uint64_t>(now.tv_nsec) ^
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

// Every failure path ends in one of these, so no -1 leaves without its reason. The errno is
// taken before the caller's locals are destroyed (a close or unlink there would change it).
int Fail(FileError* error, FileError why) {
  if (error != nullptr) *error = why;
  return -1;
}
int Fail(FileError* error, FileFault fault, int system_error = 0) {
  return Fail(error, FileError{fault, system_error});
}
int FailWithErrno(FileError* error) { return Fail(error, FileErrorFromErrno(errno)); }

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
// target gets the new content. A dangling link resolves to the name it points at. False with
// errno set when a link cannot be read or the links loop.
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
    if (n < 0) return false;
    if (n == 0 || static_cast<size_t>(n) >= buffer.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    std::string link(buffer.data(), static_cast<size_t>(n));
    current = link.front() == '/' ? link : DirectoryOf(current) + "/" + link;
  }
  errno = ELOOP;
  return false;
}

// Why we may not write the data file, or kNone. A file without write permission for us stays
// as it is; root passes every access check, so a file without any write bit counts as
// read-only too.
FileError WriteRefusal(const std::string& target, const struct stat& st) {
  if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    if (errno == EACCES || errno == EPERM) return {FileFault::kReadOnly, errno};
    return FileErrorFromErrno(errno);
  }
  if ((st.st_mode & 0222) == 0) return {FileFault::kReadOnly, 0};
  return {};
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
int RewriteInPlace(const std::string& target, std::string_view content, FileError* error) {
  int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return FailWithErrno(error);
  FdCloser closer(fd);
  struct stat st;
  if (fstat(fd, &st) != 0) return FailWithErrno(error);
  if (!S_ISREG(st.st_mode)) return Fail(error, FileFault::kNotRegular);
  const off_t new_size = static_cast<off_t>(content.size());
  if (new_size > st.st_size) {
    if (const int reserved = posix_fallocate(fd, 0, new_size); reserved != 0) {
      // Drop whatever part of the reservation was made; the old bytes were never touched.
      if (ftruncate(fd, st.st_size) != 0) {
      }
      return Fail(error, FileErrorFromErrno(reserved));
    }
  }
  if (!WriteAllAt(fd, content, 0)) return FailWithErrno(error);
  if (ftruncate(fd, new_size) != 0) return FailWithErrno(error);
  if (fsync(fd) != 0) return FailWithErrno(error);
  return closer.CloseNow() ? 0 : FailWithErrno(error);
}

// A file opened for reading, or why not.
struct OpenedFile {
  ReadOutcome outcome = ReadOutcome::kMissing;
  int fd = -1;
  size_t size = 0;
  FileError error;
};

// Opens `path` when it is a regular file (or a link to one) of at most kMaxDataFileSize bytes.
OpenedFile OpenForReading(const std::string& path) {
  OpenedFile file;
  if (path.empty()) return file;
  auto failed = [&file](FileError why) {
    file.outcome = ReadOutcome::kFailed;
    file.error = why;
    return file;
  };
  // Looked at before it is opened: a FIFO would wait for a writer, and opening a device can
  // act on it (a serial line raises its modem lines).
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return file;
    return failed(FileErrorFromErrno(errno));
  }
  if (!S_ISREG(st.st_mode)) return failed({FileFault::kNotRegular, 0});
  // Should something else have taken the name since, the open still must not wait.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return file;
    return failed(FileErrorFromErrno(errno));
  }
  FdCloser closer(fd);
  if (fstat(fd, &st) != 0) return failed(FileErrorFromErrno(errno));
  if (!S_ISREG(st.st_mode)) return failed({FileFault::kNotRegular, 0});
  if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > kMaxDataFileSize) {
    return failed({FileFault::kTooLarge, 0});
  }
  closer.Release();
  file.outcome = ReadOutcome::kRead;
  file.fd = fd;
  file.size = static_cast<size_t>(st.st_size);
  return file;
}

}  // namespace

ReadOutcome CheckReadable(const std::string& path, FileError* error) {
  const OpenedFile file = OpenForReading(path);
  if (file.fd >= 0) close(file.fd);
  if (error != nullptr) *error = file.error;
  return file.outcome;
}

namespace {

// Reads the file that `file` opened into `buffer`, of the file's size at the open: that size is
// all that is read, so a file that grows meanwhile cannot make this hold more than the limit,
// and one that shrinks just ends early. The bytes read, or -1 with the reason.
long long ReadOpened(const OpenedFile& file, char* buffer, FileError* error) {
  size_t used = 0;
  while (used < file.size) {
    ssize_t n = read(file.fd, buffer + used, file.size - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error != nullptr) *error = FileErrorFromErrno(errno);
      return -1;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  return static_cast<long long>(used);
}

}  // namespace

ReadOutcome ReadWholeFile(const std::string& path, std::string& content, FileError* error) {
  content.clear();
  const OpenedFile file = OpenForReading(path);
  if (error != nullptr) *error = file.error;
  if (file.outcome != ReadOutcome::kRead) return file.outcome;
  FdCloser closer(file.fd);
  content.resize(file.size);
  const long long used = ReadOpened(file, content.data(), error);
  if (used < 0) {
    std::string().swap(content);
    return ReadOutcome::kFailed;
  }
  content.resize(static_cast<size_t>(used));
  return ReadOutcome::kRead;
}

ReadOutcome ReadWholeFile(const std::string& path, FileBytes& content, FileError* error) {
  content = FileBytes();
  const OpenedFile file = OpenForReading(path);
  if (error != nullptr) *error = file.error;
  if (file.outcome != ReadOutcome::kRead) return file.outcome;
  FdCloser closer(file.fd);
  FileBytes bytes(file.size);
  const long long used = ReadOpened(file, bytes.data(), error);
  if (used < 0) return ReadOutcome::kFailed;
  bytes.Shrink(static_cast<size_t>(used));
  content = std::move(bytes);
  return ReadOutcome::kRead;
}

int ReplaceFileContent(const std::string& path, std::string_view content, ReplaceMode mode,
                       FileError* error) {
  if (error != nullptr) *error = {};
  if (path.empty()) return Fail(error, FileFault::kNotFound, ENOENT);
  std::string target;
  if (!ResolveLinks(path, target)) return FailWithErrno(error);
  const std::string dir = DirectoryOf(target);
  const std::string base = BaseNameOf(target);
  if (base.empty()) return Fail(error, FileFault::kNotRegular, EISDIR);  // "folder/"

  struct stat st;
  const bool exists = stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return FailWithErrno(error);
  if (exists) {
    // A file that appeared since it was found missing is someone else's: never clobbered.
    if (mode == ReplaceMode::kCreate) return Fail(error, FileFault::kIoError, EEXIST);
    if (!S_ISREG(st.st_mode)) return Fail(error, FileFault::kNotRegular);
    if (const FileError refusal = WriteRefusal(target, st)) return Fail(error, refusal);
  }

  // Where no file can be made in the folder, or the old one may not be renamed over (another
  // user's file in a sticky folder), the writable file is rewritten in place instead.
  auto refused = [] { return errno == EACCES || errno == EPERM; };
  TempFile temp;
  if (!temp.Create(dir, base, exists ? 0600 : 0666)) {
    return exists && refused() ? RewriteInPlace(target, content, error) : FailWithErrno(error);
  }
  if (!WriteAllAt(temp.fd(), content, 0)) return FailWithErrno(error);
  if (exists) {
    // Owner first: a change of owner clears set-id bits that the mode then restores.
    if (st.st_uid != geteuid() || st.st_gid != getegid()) {
      if (fchown(temp.fd(), st.st_uid, st.st_gid) != 0) {
        // We may not give it away: the file is then ours, with its content and mode intact.
      }
    }
    if (fchmod(temp.fd(), st.st_mode & 07777) != 0) return FailWithErrno(error);
  }
  if (fsync(temp.fd()) != 0) return FailWithErrno(error);
  if (!temp.Close()) return FailWithErrno(error);
  if (!MoveIntoPlace(temp.name(), target, mode)) {
    return exists && refused() ? RewriteInPlace(target, content, error) : FailWithErrno(error);
  }
  temp.Keep();
  SyncDirectory(dir);
  return 0;
}

}  // namespace kavro
