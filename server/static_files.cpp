#include "server/static_files.h"

#include <algorithm>

namespace kavro::server {

const StaticFile* FindStaticFile(std::string_view path, std::span<const StaticFile> files) {
  if (path == "/") path = "/index.html";
  const auto found = std::find_if(files.begin(), files.end(),
                                  [path](const StaticFile& file) { return file.path == path; });
  return found == files.end() ? nullptr : &*found;
}

}  // namespace kavro::server
