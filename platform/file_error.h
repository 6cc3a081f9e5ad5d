// Failure kinds of file operations. Every file failure of the operating system is
// reported as one of these; the database engine maps them to its result codes.
#pragma once

namespace quillet::platform {

enum class FileError {
    kNone,
    kGeneric,
    kFileNotFound,
    kBadPath,
    kTooManyOpenFiles,
    kAccessDenied,
    kInvalidHandle,
    kRemoveCurrentDirectory,
    kDirectoryFull,
    kBadSeek,
    kHardwareIo,
    kSharingViolation,
    kLockViolation,
    kDiskFull,
    kEndOfFile,
};

// The one place where an operating-system error number becomes a failure kind.
FileError file_error_from_errno(int error_number);

}  // namespace quillet::platform
