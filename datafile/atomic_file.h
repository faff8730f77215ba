// Whole-file reads and crash-safe whole-file replacement for the data file store.
#pragma once

#include <string>
#include <string_view>

namespace kavro {

enum class ReadOutcome {
  kRead,     // `content` holds every byte of the file
  kMissing,  // no file of that name (a dangling symbolic link counts as missing)
  kFailed,   // the file is there but cannot be read (no permission, a directory, I/O error)
};

// Reads the whole file at `path` into `content` in one go.
ReadOutcome ReadWholeFile(const std::string& path, std::string& content);

enum class ReplaceMode {
  kExisting,  // replace the file that was read (recreated should it have vanished meanwhile)
  kCreate,    // the file was missing: create it, but never clobber one that appeared meanwhile
};

// Makes `content` the whole content of the file at `path`. Returns 0, or -1 with the old file
// left whole.
//
// The new content goes to a temporary file beside the data file, is flushed to disk and then
// renamed over it, so a crash at any moment leaves either the old or the new file. The file's
// permission bits (and, where we may, its owner) carry over; a symbolic link stays a link and
// its target is replaced. A file without any write permission is left alone (-1), even where
// its folder would allow the rename. Only when no file can be created in the folder is the
// file rewritten in place (after reserving the space it needs). The temporary file never
// outlives the call, whatever fails.
int ReplaceFileContent(const std::string& path, std::string_view content, ReplaceMode mode);

}  // namespace kavro
