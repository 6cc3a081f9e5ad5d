// Files and byte-range locks on POSIX, with the Windows semantics the callers expect.
//
// Here is how the Windows behaviour is rebuilt from open-file-description locks:
//
// * Every handle is one open() of its own (O_CLOEXEC, never dup()ed), and every lock is
//   an F_OFD_SETLK lock. OFD locks belong to the open file description, so two handles
//   of one process conflict like two handles of two processes, and closing some other
//   descriptor of the same file releases nothing (classic F_SETLK locks fail both).
// * Locks are exclusive (F_WRLCK), which needs a descriptor open for writing. A handle
//   opened for reading therefore opens O_RDWR underneath when the permissions allow it
//   and refuses writes itself. When they do not (a read-only file or file system) it
//   opens O_RDONLY and takes shared locks (F_RDLCK) instead: they still keep every
//   writer's exclusive lock out, but two such read-only handles do not exclude each
//   other, which is harmless as neither can write.
// * Windows refuses a lock that overlaps one the same handle holds and an unlock that
//   does not name a held range exactly; the kernel merges and splits ranges instead,
//   so each handle keeps its own list of held ranges and checks these rules first.
// * Share modes are a convention of OFD locks on four marker bytes far beyond any data
//   (from 2^62): every handle read-locks the "reads" byte, a writing handle the
//   "writes" byte, a handle that denies reading the "denies read" byte and one that
//   denies writing the "denies write" byte. Before taking its markers a new handle
//   tests (F_OFD_GETLK) for markers of other handles that conflict with it. Test and
//   set happen under an exclusive lock on a fifth "gate" byte, taken with the blocking
//   F_OFD_SETLKW as it is only held for those few calls, so two opens cannot both pass.
//   Only handles of this program follow the convention; other programs are not kept out.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "platform/file.h"
#include "platform/file_variant_support.h"
#include "platform/text_codec.h"

namespace quillet::platform {
namespace {

constexpr off_t kShareBase = off_t{1} << 62;
constexpr off_t kReadsMarker = kShareBase;
constexpr off_t kWritesMarker = kShareBase + 1;
constexpr off_t kDeniesReadMarker = kShareBase + 2;
constexpr off_t kDeniesWriteMarker = kShareBase + 3;
constexpr off_t kGate = kShareBase + 4;


std::string os_path(const std::string& gbk_path) { return gbk_to_utf8(gbk_path); }

FileError last_error() { return file_error_from_errno(errno); }

int ofd_lock(int fd, int command, short type, off_t offset, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = length;
    int result;
    do {
        result = fcntl(fd, command, &lock);
    } while (result == -1 && errno == EINTR);
    return result;
}

// True when another open file description holds a lock on the byte.
bool other_holds(int fd, off_t offset) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &lock) == -1) return true;
    return lock.l_type != F_UNLCK;
}

bool denies_read(Share share) { return share == Share::kDenyRead || share == Share::kExclusive; }
bool denies_write(Share share) { return share == Share::kDenyWrite || share == Share::kExclusive; }

// Checks the other handles' markers against this handle's wishes and, when they agree,
// sets this handle's own markers.
FileError claim_share(int fd, bool writable_fd, Access access, Share share) {
    const bool writes = access == Access::kReadWrite;
    const bool denies_read = quillet::platform::denies_read(share);
    const bool denies_write = quillet::platform::denies_write(share);

    if (ofd_lock(fd, F_OFD_SETLKW, writable_fd ? F_WRLCK : F_RDLCK, kGate, 1) == -1) return last_error();
    FileError result = FileError::kNone;
    if (other_holds(fd, kDeniesReadMarker) || (writes && other_holds(fd, kDeniesWriteMarker)) ||
        (denies_read && other_holds(fd, kReadsMarker)) || (denies_write && other_holds(fd, kWritesMarker))) {
        result = FileError::kSharingViolation;
    } else {
        const off_t markers[] = {kReadsMarker, kWritesMarker, kDeniesReadMarker, kDeniesWriteMarker};
        const bool wanted[] = {true, writes, denies_read, denies_write};
        for (int i = 0; i < 4 && result == FileError::kNone; ++i) {
            if (wanted[i] && ofd_lock(fd, F_OFD_SETLK, F_RDLCK, markers[i], 1) == -1) result = last_error();
        }
    }
    ofd_lock(fd, F_OFD_SETLK, F_UNLCK, kGate, 1);
    return result;
}

struct Range {
    std::int64_t offset;
    std::int64_t length;
};

bool sync_directory_of(const std::string& os_file_path) {
    const auto slash = os_file_path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : os_file_path.substr(0, slash + 1);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd == -1) return false;
    const bool ok = fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool write_all(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// Sets or clears this handle's "denies" markers for a new share mode; denying fails
// while another handle holds the marker of what is to be denied.
FileError change_denies(int fd, bool writable_fd, Share from, Share to) {
    if (ofd_lock(fd, F_OFD_SETLKW, writable_fd ? F_WRLCK : F_RDLCK, kGate, 1) == -1) return last_error();
    FileError result = FileError::kNone;
    if ((denies_read(to) && !denies_read(from) && other_holds(fd, kReadsMarker)) ||
        (denies_write(to) && !denies_write(from) && other_holds(fd, kWritesMarker))) {
        result = FileError::kSharingViolation;
    } else {
        const std::pair<off_t, bool> markers[] = {{kDeniesReadMarker, denies_read(to)},
                                                  {kDeniesWriteMarker, denies_write(to)}};
        for (const auto& [marker, wanted] : markers) {
            if (ofd_lock(fd, F_OFD_SETLK, wanted ? F_RDLCK : F_UNLCK, marker, 1) == -1 && wanted) {
                result = last_error();
            }
        }
    }
    ofd_lock(fd, F_OFD_SETLK, F_UNLCK, kGate, 1);
    return result;
}


// Temporary files sit beside their target, often in a directory others can write to: a
// name nobody can guess, O_EXCL and O_NOFOLLOW keep anyone from planting a file or a link
// there for us to write the secrets into.
std::string unpredictable_suffix() { return ".tmp-" + random_hex(kTemporaryDigits); }

// Creates os_target + *suffix; -1 (errno set) when it cannot.
int create_private_file(const std::string& os_target, std::string* suffix) {
    constexpr int kAttempts = 8;  // a clash of 64 random bits means someone is guessing
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        *suffix = unpredictable_suffix();
        const std::string temporary = os_target + *suffix;
        int fd;
        do {
            fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        } while (fd == -1 && errno == EINTR);
        if (fd != -1 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace


struct File::Impl {
    int fd = -1;
    Access access = Access::kRead;
    Share share = Share::kReadWrite;
    bool writable_fd = false;
    std::vector<Range> locks;
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
    const std::string native = os_path(path);
    if (creation == Creation::kCreateNew) return create_new(native, access, share);
    int flags = O_CLOEXEC | O_RDWR;
    if (creation == Creation::kCreateAlways) flags |= O_CREAT;
    if (creation == Creation::kOpenAlways) flags |= O_CREAT;
    int fd;
    do {
        fd = ::open(native.c_str(), flags, 0600);
    } while (fd == -1 && errno == EINTR);
    bool writable_fd = fd != -1;
    if (fd == -1 && access == Access::kRead && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        do {
            fd = ::open(native.c_str(), (flags & ~O_RDWR & ~O_CREAT) | O_RDONLY);
        } while (fd == -1 && errno == EINTR);
    }
    if (fd == -1) return last_error();
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        return FileError::kAccessDenied;
    }
    return take(fd, writable_fd, access, share, creation == Creation::kCreateAlways);
}

FileError File::create_new(const std::string& native, Access access, Share share) {
    // Private from the first instant, never an existing name, never through a link.
    int fd;
    do {
        fd = ::open(native.c_str(), O_CLOEXEC | O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    } while (fd == -1 && errno == EINTR);
    if (fd == -1) return last_error();
    return take(fd, /*writable_fd=*/true, access, share, /*truncate=*/false);
}

FileError File::take(int fd, bool writable_fd, Access access, Share share, bool truncate) {
    const FileError shared = claim_share(fd, writable_fd, access, share);
    if (shared != FileError::kNone) {
        ::close(fd);
        return shared;
    }
    // Truncate only once the share check let us in, so a refused open changes nothing.
    if (truncate && ftruncate(fd, 0) == -1) {
        const FileError error = last_error();
        ::close(fd);
        return error;
    }
    // A file written anew is owner-only like a new one. Not ours to change (another owner)
    // is left as it is: the open already succeeded with the access it grants.
    if (truncate) {
        struct stat info {};
        if (fstat(fd, &info) == 0 && (info.st_mode & 077) != 0) fchmod(fd, info.st_mode & 0700);
    }
    impl_->fd = fd;
    impl_->access = access;
    impl_->share = share;
    impl_->writable_fd = writable_fd;
    return FileError::kNone;
}

void File::close() {
    if (!impl_ || impl_->fd == -1) return;
    ::close(impl_->fd);  // releases every OFD lock of this handle
    impl_->fd = -1;
    impl_->locks.clear();
}

bool File::is_open() const { return impl_ && impl_->fd != -1; }

FileError File::read_at(std::int64_t offset, void* buffer, std::size_t length, std::size_t* bytes_read) {
    *bytes_read = 0;
    if (!is_open()) return FileError::kInvalidHandle;
    if (offset < 0) return FileError::kBadSeek;
    auto* out = static_cast<char*>(buffer);
    while (*bytes_read < length) {
        const ssize_t got = pread(impl_->fd, out + *bytes_read, length - *bytes_read,
                                  static_cast<off_t>(offset + static_cast<std::int64_t>(*bytes_read)));
        if (got < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        if (got == 0) break;
        *bytes_read += static_cast<std::size_t>(got);
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
        const ssize_t put = pwrite(impl_->fd, in + done, length - done, static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        done += static_cast<std::size_t>(put);
    }
    return FileError::kNone;
}

FileError File::length(std::int64_t* out) const {
    *out = 0;
    if (!is_open()) return FileError::kInvalidHandle;
    struct stat info {};
    if (fstat(impl_->fd, &info) == -1) return last_error();
    *out = info.st_size;
    return FileError::kNone;
}

FileError File::set_length(std::int64_t length) {
    if (!is_open()) return FileError::kInvalidHandle;
    if (impl_->access != Access::kReadWrite) return FileError::kAccessDenied;
    if (length < 0) return FileError::kBadSeek;
    if (const FileError hooked = before_change(); hooked != FileError::kNone) return hooked;
    int result;
    do {
        result = ftruncate(impl_->fd, static_cast<off_t>(length));
    } while (result == -1 && errno == EINTR);
    return result == -1 ? last_error() : FileError::kNone;
}

FileError File::sync() {
    if (!is_open()) return FileError::kInvalidHandle;
    if (const FileError hooked = before_change(); hooked != FileError::kNone) return hooked;
    // fdatasync covers the data and the file length, which is all a reader needs back.
    return fdatasync(impl_->fd) == -1 ? last_error() : FileError::kNone;
}

FileError File::copy_from(File& from, std::int64_t offset, std::int64_t length) {
    if (!is_open() || !from.is_open()) return FileError::kInvalidHandle;
    if (impl_->access != Access::kReadWrite) return FileError::kAccessDenied;
    if (const FileError hooked = before_change(); hooked != FileError::kNone) return hooked;
    loff_t in = offset, out = offset;
    for (std::int64_t left = length; left > 0;) {
        const ssize_t copied = copy_file_range(from.impl_->fd, &in, impl_->fd, &out, static_cast<std::size_t>(left), 0);
        if (copied < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        if (copied == 0) return FileError::kEndOfFile;
        left -= copied;
    }
    return FileError::kNone;
}

void File::start_writeback(std::int64_t offset, std::int64_t length) {
    if (is_open() && offset >= 0 && length > 0) sync_file_range(impl_->fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

FileError File::change_share(Share share) {
    if (!is_open()) return FileError::kInvalidHandle;
    if (share == impl_->share) return FileError::kNone;
    const FileError error = change_denies(impl_->fd, impl_->writable_fd, impl_->share, share);
    if (error == FileError::kNone) impl_->share = share;
    return error;
}

FileError File::lock(std::int64_t offset, std::int64_t length) {
    if (!is_open()) return FileError::kInvalidHandle;
    if (offset < 0 || length <= 0 || offset > INT64_MAX - length) return FileError::kGeneric;
    for (const Range& held : impl_->locks) {
        if (offset < held.offset + held.length && held.offset < offset + length) return FileError::kLockViolation;
    }
    const short type = impl_->writable_fd ? F_WRLCK : F_RDLCK;
    if (ofd_lock(impl_->fd, F_OFD_SETLK, type, offset, length) == -1) {
        return errno == EACCES ? FileError::kLockViolation : last_error();
    }
    impl_->locks.push_back({offset, length});
    return FileError::kNone;
}

FileError File::unlock(std::int64_t offset, std::int64_t length) {
    if (!is_open()) return FileError::kInvalidHandle;
    for (auto it = impl_->locks.begin(); it != impl_->locks.end(); ++it) {
        if (it->offset != offset || it->length != length) continue;
        if (ofd_lock(impl_->fd, F_OFD_SETLK, F_UNLCK, offset, length) == -1) return last_error();
        impl_->locks.erase(it);
        return FileError::kNone;
    }
    return FileError::kLockViolation;
}

std::string full_path(const std::string& path) {
    std::string absolute;
    if (path.empty() || (path[0] != '/' && path[0] != '\\')) {
        char buffer[PATH_MAX];
        if (getcwd(buffer, sizeof buffer) != nullptr) absolute = utf8_to_gbk(buffer);
        absolute += '/';
    }
    absolute += path;
    // Both separators count. A GBK trail byte can be 0x5C ('\'), so walk characters, not bytes.
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (std::size_t i = 0; i < absolute.size(); ++i) {
        const auto byte = static_cast<unsigned char>(absolute[i]);
        if (byte >= 0x81 && byte <= 0xFE && i + 1 < absolute.size()) {
            part += absolute[i];
            part += absolute[++i];
        } else if (byte == '/' || byte == '\\') {
            flush();
        } else {
            part += absolute[i];
        }
    }
    flush();
    std::string result;
    for (const std::string& p : parts) result += "/" + p;
    return result.empty() ? "/" : result;
}

bool is_existing_file(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(os_path(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool is_directory(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(os_path(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool is_symbolic_link(const std::string& path) {
    struct stat info {};
    return !path.empty() && lstat(os_path(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool move_file(const std::string& from, const std::string& to) {
    return renameat2(AT_FDCWD, os_path(from).c_str(), AT_FDCWD, os_path(to).c_str(), RENAME_NOREPLACE) == 0;
}

bool replace_file(const std::string& from, const std::string& to) {
    if (before_change() != FileError::kNone) return false;
    return rename(os_path(from).c_str(), os_path(to).c_str()) == 0;
}

bool remove_file(const std::string& path) { return unlink(os_path(path).c_str()) == 0; }

bool create_directory(const std::string& path) { return mkdir(os_path(path).c_str(), 0700) == 0; }

SequentialFile::~SequentialFile() {
    if (handle_ != -1) ::close(static_cast<int>(handle_));
}

bool SequentialFile::open(const std::string& path) {
    if (handle_ != -1) return false;
    handle_ = ::open(os_path(path).c_str(), O_RDONLY | O_CLOEXEC);
    return handle_ != -1;
}

std::optional<std::size_t> SequentialFile::read(char* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t got = ::read(static_cast<int>(handle_), buffer, capacity);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) return std::nullopt;
    }
}

bool write_whole_file_atomically(const std::string& path, const std::string& bytes) {
    const std::string target = os_path(path);
    std::string suffix;
    const int fd = create_private_file(target, &suffix);
    if (fd == -1) return false;
    const std::string temporary = target + suffix;
    const bool written = write_all(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || before_change() != FileError::kNone || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return sync_directory_of(target);
}

FileError create_private_temporary(const std::string& path, File* file, std::string* created, Share share) {
    // 64 random bits: a name taken by someone else is a collision, not a guess, so a few
    // tries are plenty.
    FileError error = FileError::kGeneric;
    for (int attempt = 0; attempt < 8; ++attempt) {
        *created = path + "~" + random_hex(kTemporaryDigits);
        error = file->open(*created, Access::kReadWrite, share, Creation::kCreateNew);
        if (error != FileError::kNone && errno == EEXIST) continue;
        break;
    }
    if (error != FileError::kNone) created->clear();
    return error;
}

void remove_private_temporaries(const std::string& path) {
    const std::string native = os_path(path);
    const auto slash = native.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : native.substr(0, slash);
    const std::string prefix = (slash == std::string::npos ? native : native.substr(slash + 1)) + "~";
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + kTemporaryDigits || name.compare(0, prefix.size(), prefix) != 0) continue;
        if (name.find_first_not_of("0123456789abcdef", prefix.size()) != std::string::npos) continue;
        unlink((directory + "/" + name).c_str());
    }
    closedir(dir);
}

FileError sync_parent_directory(const std::string& path) {
    if (const FileError hooked = before_change(); hooked != FileError::kNone) return hooked;
    return sync_directory_of(os_path(path)) ? FileError::kNone : last_error();
}

}  // namespace quillet::platform
