// Whole-file reads and crash-safe whole-file replacement for the data file store.
#pragma once

#include <string>
#include <string_view>

#include "datafile/file_bytes.h"
#include "datafile/file_error.h"

namespace kavro {

enum class ReadOutcome {
  kRead,     // `content` holds every byte of the file
  kMissing,  // no file of that name (a dangling symbolic link counts as missing)
  kFailed,   // the file is there but cannot be read (no permission, not a regular file, too
             // large, I/O error)
};

// Reads the whole file at `path` into `content` in one go. Only a regular file, or a symbolic
// link to one, of at most kMaxDataFileSize bytes is read; anything else (a folder, a FIFO, a
// device) is refused without waiting and without reading from it. At most the size the file had
// when it was opened is read. `*error`, when given, tells why on kFailed and is kNone otherwise.
ReadOutcome ReadWholeFile(const std::string& path, std::string& content,
                          FileError* error = nullptr);
// The same, into memory suited to a large file that is read and scanned again and again.
ReadOutcome ReadWholeFile(const std::string& path, FileBytes& content, FileError* error = nullptr);

// What ReadWholeFile would come to, without reading the content: the file is opened and looked
// at only. kRead means it can be read.
ReadOutcome CheckReadable(const std::string& path, FileError* error = nullptr);

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
// outlives the call, whatever fails. `*error`, when given, tells why for every -1 (kReadOnly,
// kNotRegular, kNoSpace, kNotPermitted, kNotFound for a missing folder, kIoError) and is kNone
// after a success.
int ReplaceFileContent(const std::string& path, std::string_view content, ReplaceMode mode,
                       FileError* error = nullptr);

}  // namespace kavro
