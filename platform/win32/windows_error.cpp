#include "platform/win32/windows_error.h"

#include <windows.h>

namespace quillet::platform {

FileError file_error_from_windows(unsigned long error_code) {
    switch (error_code) {
        case ERROR_SUCCESS:
            return FileError::kNone;
        case ERROR_FILE_NOT_FOUND:
            return FileError::kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
            return FileError::kBadPath;
        case ERROR_TOO_MANY_OPEN_FILES:
            return FileError::kTooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return FileError::kAccessDenied;
        case ERROR_INVALID_HANDLE:
            return FileError::kInvalidHandle;
        case ERROR_CURRENT_DIRECTORY:
            return FileError::kRemoveCurrentDirectory;
        case ERROR_CANNOT_MAKE:
            return FileError::kDirectoryFull;
        case ERROR_NEGATIVE_SEEK:
        case ERROR_SEEK:
            return FileError::kBadSeek;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_NOT_READY:
        case ERROR_IO_DEVICE:
            return FileError::kHardwareIo;
        case ERROR_SHARING_VIOLATION:
            return FileError::kSharingViolation;
        case ERROR_LOCK_VIOLATION:
        case ERROR_NOT_LOCKED:
            return FileError::kLockViolation;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileError::kDiskFull;
        case ERROR_HANDLE_EOF:
            return FileError::kEndOfFile;
        default:
            return FileError::kGeneric;
    }
}

}  // namespace quillet::platform
