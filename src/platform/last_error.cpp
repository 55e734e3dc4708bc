#include "platform/last_error.h"

#include <cerrno>

namespace tw::platform {

namespace {
thread_local uint32_t t_lastError = kErrorSuccess;
}  // namespace

uint32_t GetLastError() { return t_lastError; }

void SetLastError(uint32_t code) { t_lastError = code; }

// Context-free mapping. Where Windows distinguishes what errno does not
// (a missing file against a missing directory, an existing file against an
// existing directory) the calling operation picks the number itself.
uint32_t ErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorFileExists;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EINVAL:
      return kErrorInvalidName;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case EROFS:
      return kErrorWriteProtect;
    case EBUSY:
    case EWOULDBLOCK:  // also EAGAIN
    case ETXTBSY:
      return kErrorSharingViolation;
    case EDEADLK:
    case ENOLCK:
      return kErrorLockViolation;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EBADF:
      return kErrorInvalidHandle;
    case EXDEV:
      return 17;  // ERROR_NOT_SAME_DEVICE
    case ENOSYS:
    case EOPNOTSUPP:
      return kErrorNotSupported;
    case ELOOP:
      return 1921;  // ERROR_CANT_RESOLVE_FILENAME
    case EIO:
      return 1117;  // ERROR_IO_DEVICE
    default:
      return kErrorGenFailure;
  }
}

const char* ErrorMessage(uint32_t code) {
  switch (code) {
    case 0:
      return "The operation completed successfully.";
    case 1:
      return "Incorrect function.";
    case 2:
      return "The system cannot find the file specified.";
    case 3:
      return "The system cannot find the path specified.";
    case 4:
      return "The system cannot open the file.";
    case 5:
      return "Access is denied.";
    case 6:
      return "The handle is invalid.";
    case 8:
      return "Not enough memory resources are available to process this command.";
    case 17:
      return "The system cannot move the file to a different disk drive.";
    case 18:
      return "There are no more files.";
    case 19:
      return "The media is write protected.";
    case 31:
      return "A device attached to the system is not functioning.";
    case 32:
      return "The process cannot access the file because it is being used by another process.";
    case 33:
      return "The process cannot access the file because another process has locked a portion of the file.";
    case 38:
      return "Reached the end of the file.";
    case 50:
      return "The request is not supported.";
    case 80:
      return "The file exists.";
    case 87:
      return "The parameter is incorrect.";
    case 112:
      return "There is not enough space on the disk.";
    case 123:
      return "The filename, directory name, or volume label syntax is incorrect.";
    case 126:
      return "The specified module could not be found.";
    case 127:
      return "The specified procedure could not be found.";
    case 145:
      return "The directory is not empty.";
    case 183:
      return "Cannot create a file when that file already exists.";
    case 206:
      return "The filename or extension is too long.";
    case 267:
      return "The directory name is invalid.";
    case 1117:
      return "The request could not be performed because of an I/O device error.";
    case 1921:
      return "The name of the file cannot be resolved by the system.";
    default:
      return "Unknown error";
  }
}

}  // namespace tw::platform
