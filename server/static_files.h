// The web page's files, built into the server from server/web/ (see web_files.cmake), so that
// it serves its page without anything installed beside it.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace kavro::server {

struct StaticFile {
  std::string_view path;          // "/index.html"
  std::string_view content_type;  // "text/html; charset=utf-8"
  std::string_view etag;          // strong, quoted: a hash of the content
  const unsigned char* data;
  std::size_t size;

  std::string_view Body() const { return {reinterpret_cast<const char*>(data), size}; }
};

// Every file, sorted by path. Defined in the source the build makes from server/web/.
std::span<const StaticFile> StaticFiles();

// The file served at `path` (as requested, not decoded): "/" is "/index.html". Null when
// there is none.
const StaticFile* FindStaticFile(std::string_view path,
                                 std::span<const StaticFile> files = StaticFiles());

}  // namespace kavro::server
