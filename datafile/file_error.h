// Why an operation on a file failed, as a value: callers word it for the user ("kavro.dat: not a
// regular file") instead of guessing from a bare -1.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavro {

enum class FileFault {
  kNone,
  kNotFound,      // the file, or the folder it is to be made in, does not exist
  kNotPermitted,  // the system refused access (permissions, a folder that takes no new file)
  kReadOnly,      // a file without write permission, or on a read-only filesystem: never changed
  kNoSpace,       // the disk or the user's quota is full
  kNotRegular,    // a folder, FIFO, device or anything else that is not a plain file
  kTooLarge,      // larger than kMaxDataFileSize
  kIoError,       // anything else the system reported (the errno is kept)
};

struct FileError {
  FileFault fault = FileFault::kNone;
  int system_error = 0;  // the errno behind the fault; 0 where none applies
  explicit operator bool() const { return fault != FileFault::kNone; }
};

// A data file is read whole into memory; anything larger is refused rather than read.
inline constexpr std::size_t kMaxDataFileSize = std::size_t{64} << 20;

// The fault an errno stands for.
FileError FileErrorFromErrno(int error_number);
// The reason alone, for a user: "not a regular file", "permission denied", "larger than 64 MiB".
std::string DescribeFileError(const FileError& error);
// "<path>: <reason>".
std::string FileErrorText(std::string_view path, const FileError& error);

}  // namespace kavro
