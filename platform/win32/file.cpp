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

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <vector>

#include "platform/file.h"
#include "platform/file_variant_support.h"
#include "platform/secure_random.h"
#include "platform/win32/owner_only_security.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_error.h"

namespace quillet::platform {
namespace {

FileError last_error() { return file_error_from_windows(GetLastError()); }



// Renaming and removing stay allowed, as on POSIX: a rewrite renames its new file over
// one that is still open, and an open file's temporary sibling is renamed while open.
DWORD share_flags(Share share) {
    switch (share) {
        case Share::kReadWrite:
            return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        case Share::kDenyRead:
            return FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        case Share::kDenyWrite:
            return FILE_SHARE_READ | FILE_SHARE_DELETE;
        case Share::kExclusive:
            return FILE_SHARE_DELETE;
    }
    return FILE_SHARE_DELETE;
}

std::wstring full_path_of(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return path;
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

// The names the open handles of this process reach their files by, kept up to date by
// this process's renames: a handle opened again under another share mode needs the name
// its file has now, and the system may only know the one it was opened with.
std::mutex g_names_mutex;
std::vector<std::wstring*> g_open_names;  // guarded by g_names_mutex

void track_name(std::wstring* name) {
    std::lock_guard lock(g_names_mutex);
    g_open_names.push_back(name);
}

void untrack_name(std::wstring* name) {
    std::lock_guard lock(g_names_mutex);
    g_open_names.erase(std::remove(g_open_names.begin(), g_open_names.end(), name), g_open_names.end());
}

void follow_rename(const std::wstring& from, const std::wstring& to) {
    const std::wstring old_name = full_path_of(from), new_name = full_path_of(to);
    std::lock_guard lock(g_names_mutex);
    for (std::wstring* name : g_open_names) {
        if (*name == old_name) *name = new_name;
    }
}

DWORD disposition(Creation creation) {
    switch (creation) {
        case Creation::kOpenExisting:
            return OPEN_EXISTING;
        case Creation::kCreateAlways:
            return CREATE_ALWAYS;
        case Creation::kOpenAlways:
            return OPEN_ALWAYS;
        case Creation::kCreateNew:
            return CREATE_NEW;  // fails on any existing entry, a symbolic link included
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

// What a file set aside while another is renamed over it is called: "<name>.replaced-…".
constexpr const wchar_t* kAsideInfix = L".replaced-";

// Where a crash came between setting a file aside and renaming its replacement in, the
// file is missing and its aside copy whole: it is put back, as if the rewrite had never
// begun (the replacement is a leftover temporary, removed by the next rewrite).
void restore_set_aside_file(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_FILE_NOT_FOUND) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + kAsideInfix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::wstring newest;
    FILETIME newest_time{};
    do {
        if (newest.empty() || CompareFileTime(&found.ftLastWriteTime, &newest_time) > 0) {
            newest = found.cFileName;
            newest_time = found.ftLastWriteTime;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring directory = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    MoveFileExW((directory + newest).c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
}

// Renames `from` over `to` even while `to` is open (with delete sharing), as POSIX rename
// does: the open handles keep the old file. MoveFileExW refuses an open target, so the
// rename goes through the handle with POSIX semantics (Windows 10 1607 on), and falls
// back to MoveFileExW where the system does not know that.
bool rename_over_open_file(const std::wstring& from, const std::wstring& to) {
    constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    constexpr DWORD kReplaceIfExists = 0x1, kPosixSemantics = 0x2;
    struct RenameInfoEx {
        DWORD flags;
        HANDLE root;
        DWORD length;
        WCHAR name[1];
    };
    HANDLE source = CreateFileW(from.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (source == INVALID_HANDLE_VALUE) return false;
    const std::wstring target = full_path_of(to);
    std::vector<unsigned char> buffer(sizeof(RenameInfoEx) + target.size() * sizeof(WCHAR));
    auto* info = reinterpret_cast<RenameInfoEx*>(buffer.data());
    info->flags = kReplaceIfExists | kPosixSemantics;
    info->root = nullptr;
    info->length = static_cast<DWORD>(target.size() * sizeof(WCHAR));
    std::copy(target.begin(), target.end(), info->name);
    bool renamed = SetFileInformationByHandle(source, kFileRenameInfoEx, info, static_cast<DWORD>(buffer.size())) &&
                   FlushFileBuffers(source);
    CloseHandle(source);
    if (renamed) return true;
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    if (GetLastError() != ERROR_ACCESS_DENIED) return false;
    // A system without the POSIX rename refuses to replace an open file but lets it be
    // renamed, as every handle shares deletion: the old file steps aside first and goes
    // once its last handle closes. A crash between the two renames leaves it under the
    // aside name, whole, beside the complete new file; the next open puts it back.
    const std::wstring aside = to + kAsideInfix + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(secure_random_below(1000000000));
    if (!MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
        return false;
    }
    DeleteFileW(aside.c_str());
    return true;
}

}  // namespace


struct File::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    Access access = Access::kRead;
    Share share = Share::kReadWrite;
    int locks = 0;      // ranges held
    std::wstring name;  // full, tracked while open

    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    // A handle replaced by moving another File onto its own is closed here.
    ~Impl() {
        if (handle == INVALID_HANDLE_VALUE) return;
        CloseHandle(handle);
        untrack_name(&name);
    }
};

File::File() : impl_(std::make_unique<Impl>()) {}
File::~File() { close(); }
File::File(File&&) noexcept = default;
// The file this one had open is closed first: its locks and share mode go with it.
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        impl_ = std::move(other.impl_);
    }
    return *this;
}

FileError File::open(const std::string& path, Access access, Share share, Creation creation) {
    close();
    if (!impl_) impl_ = std::make_unique<Impl>();
    if (path.empty()) return FileError::kBadPath;
    const DWORD rights = access == Access::kReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    restore_set_aside_file(wide(path));
    OwnerOnlySecurity security;
    HANDLE handle = CreateFileW(wide(path).c_str(), rights, share_flags(share),
                                creation == Creation::kOpenExisting ? nullptr : security.attributes(),
                                disposition(creation), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return last_error();
    // The security attributes apply to a new file only; an existing file that is emptied
    // gets the owner-only DACL as well. Where the user may not change it, it stays.
    if (creation == Creation::kCreateAlways && GetLastError() == ERROR_ALREADY_EXISTS) {
        security.apply_to(wide(path));
    }
    impl_->handle = handle;
    impl_->access = access;
    impl_->share = share;
    impl_->locks = 0;
    impl_->name = full_path_of(wide(path));
    track_name(&impl_->name);
    return FileError::kNone;
}

void File::close() {
    if (!impl_ || impl_->handle == INVALID_HANDLE_VALUE) return;
    CloseHandle(impl_->handle);  // releases every lock of this handle
    impl_->handle = INVALID_HANDLE_VALUE;
    untrack_name(&impl_->name);
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
    if (const FileError hooked = before_change(); hooked != FileError::kNone) return hooked;
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
    if (const FileError hooked = before_change(); hooked != FileError::kNone) return hooked;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    return SetFileInformationByHandle(impl_->handle, FileEndOfFileInfo, &end, sizeof end) ? FileError::kNone
                                                                                          : last_error();
}

FileError File::sync() {
    if (!is_open()) return FileError::kInvalidHandle;
    if (impl_->access != Access::kReadWrite) return FileError::kNone;  // nothing written to flush
    if (const FileError hooked = before_change(); hooked != FileError::kNone) return hooked;
    return FlushFileBuffers(impl_->handle) ? FileError::kNone : last_error();
}

// Windows copies whole files only, so a range goes through a buffer.
FileError File::copy_from(File& from, std::int64_t offset, std::int64_t length) {
    if (!is_open() || !from.is_open()) return FileError::kInvalidHandle;
    if (impl_->access != Access::kReadWrite) return FileError::kAccessDenied;
    std::vector<char> buffer(static_cast<std::size_t>(length < (1 << 20) ? (length > 0 ? length : 1) : (1 << 20)));
    for (std::int64_t done = 0; done < length;) {
        const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(buffer.size(), length - done));
        std::size_t got = 0;
        if (const FileError error = from.read_at(offset + done, buffer.data(), wanted, &got); error != FileError::kNone) {
            return error;
        }
        if (got == 0) return FileError::kEndOfFile;
        if (const FileError error = write_at(offset + done, buffer.data(), got); error != FileError::kNone) return error;
        done += static_cast<std::int64_t>(got);
    }
    return FileError::kNone;
}

// Windows has no call that starts writing a range without waiting for it; the system's
// lazy writer starts on its own, and sync() waits for the rest.
void File::start_writeback(std::int64_t, std::int64_t) {}

// A Windows handle keeps the share mode it was opened with, so the file is opened again
// under the new one and the old handle closed. The new open is checked against the old
// handle too, which denies nothing when its mode is wider, so the old handle is closed
// first; should the new open then be refused, the file is opened again as it was. Locks
// belong to the handle and would be lost, so a handle holding any is not changed.
FileError File::change_share(Share share) {
    if (!is_open()) return FileError::kInvalidHandle;
    if (share == impl_->share) return FileError::kNone;
    if (impl_->locks > 0) return FileError::kSharingViolation;
    const std::wstring name = impl_->name;
    const DWORD rights = impl_->access == Access::kReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    CloseHandle(impl_->handle);
    impl_->handle = CreateFileW(name.c_str(), rights, share_flags(share), nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (impl_->handle != INVALID_HANDLE_VALUE) {
        impl_->share = share;
        return FileError::kNone;
    }
    const FileError refused = last_error();
    impl_->handle = CreateFileW(name.c_str(), rights, share_flags(impl_->share), nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return refused;
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
    ++impl_->locks;
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
    --impl_->locks;
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

bool is_symbolic_link(const std::string& path) {
    if (path.empty()) return false;
    // The search reports the name itself, with its reparse tag, where opening it would follow it.
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(wide(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK || found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

bool move_file(const std::string& from, const std::string& to) {
    if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return false;
    follow_rename(wide(from), wide(to));
    return true;
}

bool replace_file(const std::string& from, const std::string& to) {
    if (before_change() != FileError::kNone) return false;
    if (!rename_over_open_file(wide(from), wide(to))) return false;
    follow_rename(wide(from), wide(to));
    return true;
}

bool remove_file(const std::string& path) { return DeleteFileW(wide(path).c_str()) != 0; }

bool create_directory(const std::string& path) { return CreateDirectoryW(wide(path).c_str(), nullptr) != 0; }

SequentialFile::~SequentialFile() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool SequentialFile::open(const std::string& path) {
    if (handle_ != -1) return false;
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    handle_ = reinterpret_cast<std::intptr_t>(handle);  // INVALID_HANDLE_VALUE is -1
    return handle_ != -1;
}

std::optional<std::size_t> SequentialFile::read(char* buffer, std::size_t capacity) {
    DWORD got = 0;
    const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD));
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, asked, &got, nullptr)) {
        // The writer of a pipe closing is its end, not a failure.
        if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
        return std::nullopt;
    }
    return got;
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
    if (!written || !closed || before_change() != FileError::kNone ||
        !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

FileError create_private_temporary(const std::string& path, File* file, std::string* created, Share share) {
    // 64 random bits: a name taken by someone else is a collision, not a guess, so a few
    // tries are plenty.
    FileError error = FileError::kGeneric;
    for (int attempt = 0; attempt < 8; ++attempt) {
        *created = path + "~" + random_hex(kTemporaryDigits);
        error = file->open(*created, Access::kReadWrite, share, Creation::kCreateNew);
        if (error != FileError::kNone && GetLastError() == ERROR_FILE_EXISTS) continue;
        break;
    }
    if (error != FileError::kNone) created->clear();
    return error;
}

void remove_private_temporaries(const std::string& path) {
    const std::wstring native = wide(path);
    const auto separator = native.find_last_of(L"\\/");
    const std::wstring directory = separator == std::wstring::npos ? L"." : native.substr(0, separator);
    const std::wstring prefix = (separator == std::wstring::npos ? native : native.substr(separator + 1)) + L"~";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((directory + L"\\" + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name.size() != prefix.size() + kTemporaryDigits || name.compare(0, prefix.size(), prefix) != 0) continue;
        if (name.find_first_not_of(L"0123456789abcdef", prefix.size()) != std::wstring::npos) continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        DeleteFileW((directory + L"\\" + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Windows offers no way to flush a directory: the renames are made durable by
// MOVEFILE_WRITE_THROUGH instead, so only the crash tests' hook is left to run here.
FileError sync_parent_directory(const std::string&) { return before_change(); }

}  // namespace quillet::platform
