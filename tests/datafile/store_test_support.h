// Scratch folders, raw file access and an unprivileged child process for the store's tests.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace kavro::test {

// A fresh folder under `parent`, removed with everything in it (write bits restored first).
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& parent = "/tmp") {
    std::string templ = parent + "/kavro-store-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) std::abort();
    path_ = templ;
  }
  ~ScratchDir() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
      }
    }
    fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string Path(std::string_view name) const { return path_ + "/" + std::string(name); }

  // Names of everything in the folder but the data files' lock files, which stay by design,
  // sorted: shows any temporary file left behind.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      std::string name = entry.path().filename().string();
      if (!name.ends_with(".lock")) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

inline mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

constexpr uid_t kNobody = 65534;

// Runs `check` in a child process and returns the first failure it reported, or "". The
// child may then limit itself (file size, rights) without touching the test process.
inline std::string RunInChild(const std::function<std::string()>& check) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return "no pipe";
  pid_t child = fork();
  if (child < 0) return "no fork";
  if (child == 0) {
    close(pipe_fds[0]);
    std::string failure = check();
    if (write(pipe_fds[1], failure.data(), failure.size()) < 0) _exit(2);
    _exit(0);
  }
  close(pipe_fds[1]);
  std::string failure;
  char chunk[256];
  ssize_t n;
  while ((n = read(pipe_fds[0], chunk, sizeof chunk)) > 0) failure.append(chunk, n);
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) failure += " (child did not finish)";
  return failure;
}

// Like RunInChild, with the rights of an ordinary user, so that permissions bite even when
// the tests run as root. `dir` is handed to that user first; the files `check` needs must be
// made by `check` itself.
inline std::string RunAsOrdinaryUser(const std::string& dir,
                                     const std::function<std::string()>& check) {
  const bool root = geteuid() == 0;
  if (root && chown(dir.c_str(), kNobody, kNobody) != 0) return "cannot hand over " + dir;
  return RunInChild([&]() -> std::string {
    if (root && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) return "cannot drop root";
    return check();
  });
}

// Collects the first failed expectation of a check run in a child process.
class ChildExpect {
 public:
  void operator()(bool ok, std::string_view what) {
    if (!ok && failure_.empty()) failure_ = what;
  }
  const std::string& failure() const { return failure_; }

 private:
  std::string failure_;
};

}  // namespace kavro::test
