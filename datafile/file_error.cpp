#include "datafile/file_error.h"

#include <cerrno>
#include <system_error>

namespace kavro {

FileError FileErrorFromErrno(int error_number) {
  FileFault fault = FileFault::kIoError;
  switch (error_number) {
    case 0: return {};
    case ENOENT: fault = FileFault::kNotFound; break;
    case EACCES:
    case EPERM: fault = FileFault::kNotPermitted; break;
    case EROFS:
    case ETXTBSY: fault = FileFault::kReadOnly; break;
    case ENOSPC:
    case EDQUOT: fault = FileFault::kNoSpace; break;
    case EISDIR:
    case ENXIO:  // a FIFO without a reader, a device without its hardware
    case ENODEV: fault = FileFault::kNotRegular; break;
    case EOVERFLOW:  // the size does not even fit the system's file offset
      fault = FileFault::kTooLarge;
      break;
    default: break;  // ENOTDIR, ELOOP, EIO, EFBIG...: the system's own words say it best
  }
  return {fault, error_number};
}

std::string DescribeFileError(const FileError& error) {
  switch (error.fault) {
    case FileFault::kNone: return "no error";
    case FileFault::kNotFound: return "no such file or folder";
    case FileFault::kNotPermitted: return "permission denied";
    case FileFault::kReadOnly: return "read-only file";
    case FileFault::kNoSpace: return "no space left on the disk";
    case FileFault::kNotRegular: return "not a regular file";
    case FileFault::kTooLarge:
      return "larger than " + std::to_string(kMaxDataFileSize >> 20) + " MiB";
    case FileFault::kIoError: break;
  }
  // The system's text, in lower case like ours: "too many levels of symbolic links".
  const int system_error = error.system_error != 0 ? error.system_error : EIO;
  std::string text = std::generic_category().message(system_error);
  if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z') {
    text.front() = static_cast<char>(text.front() - 'A' + 'a');
  }
  return text;
}

std::string FileErrorText(std::string_view path, const FileError& error) {
  std::string text(path);
  text += ": ";
  text += DescribeFileError(error);
  return text;
}

}  // namespace kavro
