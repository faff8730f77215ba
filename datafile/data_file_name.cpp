#include "datafile/data_file_name.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "datafile/layout.h"

namespace kavro {
namespace {

constexpr std::string_view kUserFileName = "kavro.dat";

std::size_t FileNameStart(std::string_view path) {
  const std::size_t sep = path.find_last_of("/\\");
  return sep == std::string_view::npos ? 0 : sep + 1;
}

DataFileName Checked(std::string path) {
  if (path.size() > kFileNameSlot) {
    return {{},
            "the data file name is longer than " + std::to_string(kFileNameSlot) +
                " characters: " + path.substr(0, 60) + "..."};
  }
  return {std::move(path), {}};
}

// mkdir -p with 0700 for the folders it makes; true when `folder` exists as a folder afterwards.
bool MakeFolders(const std::string& folder, std::string& error) {
  for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos != folder.size() && folder[pos] != '/') continue;
    const std::string part = folder.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot create " + part + ": " + std::strerror(errno);
      return false;
    }
  }
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = folder + " is not a folder";
    return false;
  }
  return true;
}

}  // namespace

DataFileName DataFileNameByRule(const std::vector<std::string>& args, std::string_view exe_path) {
  if (args.size() == 1) {
    if (args[0].empty()) return {{}, "the data file argument is empty"};
    return Checked(args[0]);
  }
  if (exe_path.empty()) return {{}, "the program's own path is unknown"};
  const std::size_t name_start = FileNameStart(exe_path);
  const std::string_view file_name = exe_path.substr(name_start);
  if (file_name.empty()) return {{}, "the program's path has no file name"};
  const std::size_t dot = file_name.rfind('.');
  // A name such as ".kavro" has no extension; replacing from its dot would leave just ".dat".
  const std::size_t keep = (dot == std::string_view::npos || dot == 0) ? file_name.size() : dot;
  std::string path(exe_path.substr(0, name_start + keep));
  path += ".dat";
  return Checked(std::move(path));
}

std::string ExecutablePath() {
  std::string buffer(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::string SiblingProgramPath(std::string_view exe_path, std::string_view program) {
  std::string path(exe_path.substr(0, FileNameStart(exe_path)));
  path += program;
  return path;
}

std::string UserDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  // Relative values are to be ignored: they would depend on the working folder.
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/kavro";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share/kavro";
  return {};
}

DataFileName ResolveDataFileName(const std::vector<std::string>& args, std::string_view exe_path) {
  DataFileName by_rule = DataFileNameByRule(args, exe_path);
  if (args.size() == 1 || by_rule.path.empty()) return by_rule;

  const std::string& path = by_rule.path;
  if (access(path.c_str(), F_OK) == 0) return by_rule;
  const std::size_t sep = path.rfind('/');
  const std::string folder = sep == std::string::npos ? "." : sep == 0 ? "/" : path.substr(0, sep);
  if (access(folder.c_str(), W_OK | X_OK) == 0) return by_rule;

  const std::string user_folder = UserDataFolder();
  if (user_folder.empty()) {
    by_rule.note = folder + " is not writable and no user data folder is known (HOME is unset)";
    return by_rule;
  }
  DataFileName moved = Checked(user_folder + "/" + std::string(kUserFileName));
  if (moved.path.empty()) return moved;
  std::string error;
  if (!MakeFolders(user_folder, error)) moved.note = error;
  return moved;
}

}  // namespace kavro
