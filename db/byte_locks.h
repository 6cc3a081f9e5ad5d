// The byte-range locks one open database holds on its data file: single-byte record and
// header locks counted per holder, runs of record locks taken as ranges by the scans, and
// the database lock over the whole data range. Belongs to one database; used under the
// engine's mutex.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace quillet::db {

inline constexpr std::int64_t kWholeFileLength = 0x7FFFFFFF;

// The process-wide lock wait time in milliseconds (0 = no retry).
std::int32_t lock_wait_time_ms();
void set_lock_wait_time_ms(std::int32_t ms);

// Locks a range, retrying a refusal for a lock or sharing violation while less than the
// longer of the lock wait time and `minimum_wait_ms` has passed.
platform::FileError lock_waiting(platform::File& file, std::int64_t offset, std::int64_t length,
                                 std::int32_t minimum_wait_ms = 0);

class ByteLocks {
public:
    // An exclusive open starts at depth 1: nobody else can reach the file, so no byte
    // lock is ever taken on it.
    explicit ByteLocks(int depth) : depth_(depth) {}

    // Engine result codes.
    std::int32_t lock(platform::File& file, std::int64_t offset, std::int32_t minimum_wait_ms = 0);
    std::int32_t unlock(platform::File& file, std::int64_t offset);
    // Locks every byte from `first` to `last` that this database does not hold yet, in as
    // few ranges as it can and without waiting: a scan takes a batch's record locks in one
    // call. The bytes between the record locks are locked too; nothing else takes them. A
    // byte then locked by lock() inside the run is only counted. Runs are released last
    // taken first.
    std::int32_t lock_run(platform::File& file, std::int64_t first, std::int64_t last);
    void unlock_run(platform::File& file);
    // Every byte from 0 below kWholeFileLength except the bytes this database holds.
    std::int32_t lock_database(platform::File& file);
    void unlock_database(platform::File& file);
    void release_all(platform::File& file);

private:
    using Range = std::pair<std::int64_t, std::int64_t>;  // offset, length
    struct Held {
        std::int64_t offset;
        int holders;
        bool in_run;  // locked on the file by a run, not by itself
    };

    bool in_runs(std::int64_t offset) const;
    // The parts of [start, end) that neither a held byte nor a run covers.
    std::vector<Range> free_ranges(std::int64_t start, std::int64_t end) const;

    std::vector<Held> held_;
    int depth_;
    std::vector<Range> ranges_;
    std::vector<std::vector<Range>> runs_;
};

// Holds one byte of a database's lock set for a scope.
class ByteLockGuard {
public:
    ByteLockGuard(ByteLocks& locks, platform::File& file) : locks_(locks), file_(file) {}
    ~ByteLockGuard() { release(); }
    ByteLockGuard(const ByteLockGuard&) = delete;
    ByteLockGuard& operator=(const ByteLockGuard&) = delete;

    std::int32_t acquire(std::int64_t offset, std::int32_t minimum_wait_ms = 0);
    void release();

private:
    ByteLocks& locks_;
    platform::File& file_;
    std::int64_t offset_ = -1;
    bool held_ = false;
};

// Holds a run of record locks for a scope.
class RunLockGuard {
public:
    RunLockGuard(ByteLocks& locks, platform::File& file) : locks_(locks), file_(file) {}
    ~RunLockGuard() {
        if (held_) locks_.unlock_run(file_);
    }
    RunLockGuard(const RunLockGuard&) = delete;
    RunLockGuard& operator=(const RunLockGuard&) = delete;

    std::int32_t acquire(std::int64_t first, std::int64_t last) {
        const std::int32_t code = locks_.lock_run(file_, first, last);
        held_ = code == 0;
        return code;
    }

private:
    ByteLocks& locks_;
    platform::File& file_;
    bool held_ = false;
};

// Holds the database lock for a scope.
class DatabaseLockGuard {
public:
    DatabaseLockGuard(ByteLocks& locks, platform::File& file) : locks_(locks), file_(file) {}
    ~DatabaseLockGuard() {
        if (held_) locks_.unlock_database(file_);
    }
    DatabaseLockGuard(const DatabaseLockGuard&) = delete;
    DatabaseLockGuard& operator=(const DatabaseLockGuard&) = delete;

    std::int32_t acquire() {
        const std::int32_t code = locks_.lock_database(file_);
        held_ = code == 0;
        return code;
    }

private:
    ByteLocks& locks_;
    platform::File& file_;
    bool held_ = false;
};

}  // namespace quillet::db
