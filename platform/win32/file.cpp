// Files and byte-range locks on Windows: the native share modes and LockFileEx locks
// that the callers' semantics come from. A handle is opened synchronously and every
// read and write names its offset in an OVERLAPPED, so no file pointer is shared.
//
// Locks are exclusive and fail at once (LOCKFILE_FAIL_IMMEDIATELY); Windows itself
// refuses an overlapping lock of the same handle and an unlock that is not exactly a
// held range, and releases a handle's locks when it is closed. Unlike the POSIX locks,
// they are mandatory: another handle reading or writing a locked byte fails with a lock
// violation, which the callers' result codes were made for.
//
// Files this layer creates get an owner-only DACL.
#include <windows.h>

#include <atomic>
#include <climits>

#include "platform/file.h"
#include "platform/win32/owner_only_security.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_error.h"

namespace quillet::platform {
namespace {

FileError last_error() { return file_error_from_windows(GetLastError()); }

DWORD share_flags(Share share) {
    switch (share) {
        case Share::kReadWrite:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
        case Share::kDenyRead:
            return FILE_SHARE_WRITE;
        case Share::kDenyWrite:
            return FILE_SHARE_READ;
        case Share::kExclusive:
            return 0;
    }
    return 0;
}

DWORD disposition(Creation creation) {
    switch (creation) {
        case Creation::kOpenExisting:
            return OPEN_EXISTING;
        case Creation::kCreateAlways:
            return CREATE_ALWAYS;
        case Creation::kOpenAlways:
            return OPEN_ALWAYS;
    }
    return OPEN_EXISTING;
}

OVERLAPPED at(std::int64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    overlapped.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return overlapped;
}

constexpr std::size_t kLargestRequest = 1u << 30;

bool write_all(HANDLE handle, const char* data, std::size_t length) {
    while (length > 0) {
        DWORD written = 0;
        const DWORD request = static_cast<DWORD>(length < kLargestRequest ? length : kLargestRequest);
        if (!WriteFile(handle, data, request, &written, nullptr) || written == 0) return false;
        data += written;
        length -= written;
    }
    return true;
}

}  // namespace

struct File::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    Access access = Access::kRead;
};

File::File() : impl_(std::make_unique<Impl>()) {}
File::~File() { close(); }
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

FileError File::open(const std::string& path, Access access, Share share, Creation creation) {
    close();
    if (!impl_) impl_ = std::make_unique<Impl>();
    if (path.empty()) return FileError::kBadPath;
    const DWORD rights = access == Access::kReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    OwnerOnlySecurity security;
    HANDLE handle = CreateFileW(wide(path).c_str(), rights, share_flags(share),
                                creation == Creation::kOpenExisting ? nullptr : security.attributes(),
                                disposition(creation), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return last_error();
    impl_->handle = handle;
    impl_->access = access;
    return FileError::kNone;
}

void File::close() {
    if (!impl_ || impl_->handle == INVALID_HANDLE_VALUE) return;
    CloseHandle(impl_->handle);  // releases every lock of this handle
    impl_->handle = INVALID_HANDLE_VALUE;
}

bool File::is_open() const { return impl_ && impl_->handle != INVALID_HANDLE_VALUE; }

FileError File::read_at(std::int64_t offset, void* buffer, std::size_t length, std::size_t* bytes_read) {
    *bytes_read = 0;
    if (!is_open()) return FileError::kInvalidHandle;
    if (offset < 0) return FileError::kBadSeek;
    auto* out = static_cast<char*>(buffer);
    while (*bytes_read < length) {
        const std::size_t left = length - *bytes_read;
        const DWORD request = static_cast<DWORD>(left < kLargestRequest ? left : kLargestRequest);
        OVERLAPPED position = at(offset + static_cast<std::int64_t>(*bytes_read));
        DWORD got = 0;
        if (!ReadFile(impl_->handle, out + *bytes_read, request, &got, &position)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return last_error();
        }
        if (got == 0) break;
        *bytes_read += got;
    }
    return FileError::kNone;
}

FileError File::write_at(std::int64_t offset, const void* data, std::size_t length) {
    if (!is_open()) return FileError::kInvalidHandle;
    if (impl_->access != Access::kReadWrite) return FileError::kAccessDenied;
    if (offset < 0) return FileError::kBadSeek;
    const auto* in = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < length) {
        const std::size_t left = length - done;
        const DWORD request = static_cast<DWORD>(left < kLargestRequest ? left : kLargestRequest);
        OVERLAPPED position = at(offset + static_cast<std::int64_t>(done));
        DWORD put = 0;
        if (!WriteFile(impl_->handle, in + done, request, &put, &position)) return last_error();
        if (put == 0) return FileError::kHardwareIo;
        done += put;
    }
    return FileError::kNone;
}

FileError File::length(std::int64_t* out) const {
    *out = 0;
    if (!is_open()) return FileError::kInvalidHandle;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(impl_->handle, &size)) return last_error();
    *out = size.QuadPart;
    return FileError::kNone;
}

FileError File::set_length(std::int64_t length) {
    if (!is_open()) return FileError::kInvalidHandle;
    if (impl_->access != Access::kReadWrite) return FileError::kAccessDenied;
    if (length < 0) return FileError::kBadSeek;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    return SetFileInformationByHandle(impl_->handle, FileEndOfFileInfo, &end, sizeof end) ? FileError::kNone
                                                                                          : last_error();
}

FileError File::sync() {
    if (!is_open()) return FileError::kInvalidHandle;
    if (impl_->access != Access::kReadWrite) return FileError::kNone;  // nothing written to flush
    return FlushFileBuffers(impl_->handle) ? FileError::kNone : last_error();
}

FileError File::lock(std::int64_t offset, std::int64_t length) {
    if (!is_open()) return FileError::kInvalidHandle;
    if (offset < 0 || length <= 0 || offset > INT64_MAX - length) return FileError::kGeneric;
    OVERLAPPED position = at(offset);
    const auto size = static_cast<std::uint64_t>(length);
    if (!LockFileEx(impl_->handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                    static_cast<DWORD>(size & 0xFFFFFFFFu), static_cast<DWORD>(size >> 32), &position)) {
        return last_error();
    }
    return FileError::kNone;
}

FileError File::unlock(std::int64_t offset, std::int64_t length) {
    if (!is_open()) return FileError::kInvalidHandle;
    if (offset < 0 || length <= 0) return FileError::kLockViolation;
    OVERLAPPED position = at(offset);
    const auto size = static_cast<std::uint64_t>(length);
    if (!UnlockFileEx(impl_->handle, 0, static_cast<DWORD>(size & 0xFFFFFFFFu), static_cast<DWORD>(size >> 32),
                      &position)) {
        return last_error();
    }
    return FileError::kNone;
}

std::string full_path(const std::string& path) {
    const std::wstring input = wide(path.empty() ? "." : path);
    std::wstring output(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(input.c_str(), static_cast<DWORD>(output.size()), output.data(), nullptr);
        if (length == 0) return path;
        if (length < output.size()) {
            output.resize(length);
            break;
        }
        output.resize(length);
    }
    // Both separators count; the system's own is the backslash.
    for (wchar_t& c : output) {
        if (c == L'/') c = L'\\';
    }
    if (output.size() > 3 && output.back() == L'\\') output.pop_back();
    return narrow(output);
}

bool is_existing_file(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_directory(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool move_file(const std::string& from, const std::string& to) {
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool replace_file(const std::string& from, const std::string& to) {
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool remove_file(const std::string& path) { return DeleteFileW(wide(path).c_str()) != 0; }

bool create_directory(const std::string& path) { return CreateDirectoryW(wide(path).c_str(), nullptr) != 0; }

bool read_whole_file(const std::string& path, std::string* out) {
    out->clear();
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        out->append(buffer, got);
    }
    CloseHandle(handle);
    return ok;
}

bool write_whole_file_atomically(const std::string& path, const std::string& bytes) {
    static std::atomic<unsigned> counter{0};
    const std::wstring target = wide(path);
    const std::wstring temporary = target + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(counter.fetch_add(1));
    OwnerOnlySecurity security;
    HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, security.attributes(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool written = write_all(handle, bytes.data(), bytes.size()) && FlushFileBuffers(handle);
    const bool closed = CloseHandle(handle) != 0;
    // MOVEFILE_WRITE_THROUGH returns only once the rename is on disk.
    if (!written || !closed ||
        !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace quillet::platform
