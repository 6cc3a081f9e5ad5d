// Files with Windows-like share modes and byte-range locks.
//
// Paths are GBK text like every text of the program; they are converted for the
// operating system inside this layer. All offsets are absolute (positioned I/O).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_error.h"

namespace quillet::platform {

enum class Access { kRead, kReadWrite };

// What other handles (of this or another process of the program) may do meanwhile.
enum class Share { kReadWrite = 1, kDenyRead = 2, kDenyWrite = 3, kExclusive = 4 };

// Files created here are owner-only (0600): they hold secrets or their settings.
// kCreateAlways also takes group and other access away from an existing file it empties;
// kCreateNew fails when the name is taken, by a symbolic link too.
enum class Creation { kOpenExisting, kCreateAlways, kOpenAlways, kCreateNew };

// One open file. Not copyable; a handle is used by one thread at a time.
// Locks are exclusive, non-blocking and held per handle: two handles of one process
// conflict, an overlapping lock by the same handle is refused, and an unlock must
// name exactly a locked range.
class File {
public:
    File();
    ~File();
    File(File&&) noexcept;
    File& operator=(File&&) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    FileError open(const std::string& path, Access access, Share share,
                   Creation creation = Creation::kOpenExisting);
    void close();
    bool is_open() const;

    // Reads up to `length` bytes; `*bytes_read` is less at the end of the file.
    FileError read_at(std::int64_t offset, void* buffer, std::size_t length, std::size_t* bytes_read);
    FileError write_at(std::int64_t offset, const void* data, std::size_t length);
    FileError length(std::int64_t* out) const;
    FileError set_length(std::int64_t length);
    // Makes every write so far durable.
    FileError sync();
    // Copies `length` bytes at `offset` of `from` to the same offset of this file, inside
    // the operating system where it can.
    FileError copy_from(File& from, std::int64_t offset, std::int64_t length);
    // Starts writing a range to disk without waiting, so that a later sync has less left
    // to wait for. Only a hint: nothing is durable until sync().
    void start_writeback(std::int64_t offset, std::int64_t length);

    // Changes the share mode of an open handle. Denying others fails with
    // kSharingViolation, changing nothing, while another handle is open in a way the
    // new mode denies; opens that it denies are refused from then on.
    FileError change_share(Share share);

    FileError lock(std::int64_t offset, std::int64_t length);
    FileError unlock(std::int64_t offset, std::int64_t length);

private:
    struct Impl;
    FileError create_new(const std::string& native_path, Access access, Share share);
    // Makes an open descriptor this handle's once its share claim is granted.
    FileError take(int fd, bool writable_fd, Access access, Share share, bool truncate);

    std::unique_ptr<Impl> impl_;
};

// A file read once from its start to its end, in pieces: pipes and terminals too, which
// have no offsets. Not copyable; closed by the destructor.
class SequentialFile {
public:
    SequentialFile() = default;
    ~SequentialFile();
    SequentialFile(const SequentialFile&) = delete;
    SequentialFile& operator=(const SequentialFile&) = delete;

    bool open(const std::string& path);
    // Up to `capacity` bytes into `buffer`: how many, 0 at the end, nothing when reading fails.
    std::optional<std::size_t> read(char* buffer, std::size_t capacity);

private:
    std::intptr_t handle_ = -1;  // a descriptor, or a Windows handle (-1 is its invalid value too)
};

// Absolute, normalised form of `path` (relative paths against the current directory).
std::string full_path(const std::string& path);
// True only for an existing entry that is not a directory.
bool is_existing_file(const std::string& path);
bool is_directory(const std::string& path);
// True when the name itself is a symbolic link (on Windows also a junction), whether or
// not anything is at its other end; what it points to is not looked at.
bool is_symbolic_link(const std::string& path);
// Renames; fails when `to` exists.
bool move_file(const std::string& from, const std::string& to);
// Atomic replace: renames over an existing `to`.
bool replace_file(const std::string& from, const std::string& to);
bool remove_file(const std::string& path);
// Owner-only (0700).
bool create_directory(const std::string& path);
// Reads or writes a whole file. The write goes to a temporary file beside `path`, is
// flushed to disk and renamed over `path`, so a crash never leaves it half-written.
bool read_whole_file(const std::string& path, std::string* out);
// The written file is owner-only (0600), whatever mode the file it replaces had.
bool write_whole_file_atomically(const std::string& path, const std::string& bytes);

// Creates a new file private to the user beside `path` (same directory), under a name
// nobody can guess, and opens it for reading and writing, sharing it as `share` allows.
// `*created` receives its name; the caller removes the file.
FileError create_private_temporary(const std::string& path, File* file, std::string* created,
                                   Share share = Share::kExclusive);
// Removes the private temporaries beside `path` that a process left when it died. Only
// for a caller that knows no one is writing one (it holds `path` alone).
void remove_private_temporaries(const std::string& path);
// Makes the renames and removals so far in the directory holding `path` durable.
FileError sync_parent_directory(const std::string& path);

// For crash tests only: runs before every change this layer makes to a file or
// directory (write, length change, sync, rename, directory sync). A result other than
// kNone fails that change without making it. Unset by default, when it costs one load.
using ChangeHook = FileError (*)();
void set_change_hook(ChangeHook hook);

}  // namespace quillet::platform
