#include <cerrno>

#include "platform/file_error.h"

namespace quillet::platform {

FileError file_error_from_errno(int error_number) {
    switch (error_number) {
        case 0:
            return FileError::kNone;
        case ENOENT:
            return FileError::kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EISDIR:
        case EINVAL:
            return FileError::kBadPath;
        case EMFILE:
        case ENFILE:
            return FileError::kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
            return FileError::kAccessDenied;
        case EBADF:
            return FileError::kInvalidHandle;
        case EBUSY:
            return FileError::kRemoveCurrentDirectory;
        case EMLINK:
            return FileError::kDirectoryFull;
        case ESPIPE:
        case EOVERFLOW:
        case EFBIG:
            return FileError::kBadSeek;
        case EIO:
        case ENXIO:
        case ENODEV:
            return FileError::kHardwareIo;
        case EAGAIN:
        case EDEADLK:
        case ENOLCK:
            return FileError::kLockViolation;
        case ENOSPC:
        case EDQUOT:
            return FileError::kDiskFull;
        default:
            return FileError::kGeneric;
    }
}

}  // namespace quillet::platform
