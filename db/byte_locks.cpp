#include "db/byte_locks.h"

#include <algorithm>
#include <atomic>

#include "db/result_code.h"
#include "platform/clock.h"

namespace quillet::db {
namespace {

std::atomic<std::int32_t> g_lock_wait_ms{0};

bool is_refusal(platform::FileError error) {
    return error == platform::FileError::kLockViolation || error == platform::FileError::kSharingViolation;
}

}  // namespace

std::int32_t lock_wait_time_ms() { return g_lock_wait_ms.load(); }
void set_lock_wait_time_ms(std::int32_t ms) { g_lock_wait_ms.store(ms); }

platform::FileError lock_waiting(platform::File& file, std::int64_t offset, std::int64_t length,
                                 std::int32_t minimum_wait_ms) {
    const std::int64_t wait = std::max(lock_wait_time_ms(), minimum_wait_ms);
    platform::FileError error = file.lock(offset, length);
    if (!is_refusal(error) || wait <= 0) return error;
    platform::Clock& clock = platform::clock();
    const std::uint32_t start = clock.tick_count_ms();
    while (is_refusal(error)) {
        const std::uint32_t now = clock.tick_count_ms();
        if (static_cast<std::int64_t>(now - start) >= wait) break;
        clock.sleep_ms(20 + now % 20);
        error = file.lock(offset, length);
    }
    return error;
}

std::int32_t ByteLocks::lock(platform::File& file, std::int64_t offset, std::int32_t minimum_wait_ms) {
    if (offset < 0) return kLockFailed;
    if (depth_ > 0) return kOk;
    for (Held& held : held_) {
        if (held.offset == offset) {
            ++held.holders;
            return kOk;
        }
    }
    if (in_runs(offset)) {
        held_.push_back({offset, 1, true});
        return kOk;
    }
    const platform::FileError error = lock_waiting(file, offset, 1, minimum_wait_ms);
    if (error != platform::FileError::kNone) return code_for_file_error(error);
    held_.push_back({offset, 1, false});
    return kOk;
}

std::int32_t ByteLocks::unlock(platform::File& file, std::int64_t offset) {
    if (offset < 0) return kUnlockFailed;
    if (depth_ > 0) return kOk;
    for (auto it = held_.begin(); it != held_.end(); ++it) {
        if (it->offset != offset) continue;
        if (--it->holders > 0) return kOk;
        const bool in_run = it->in_run;
        held_.erase(it);
        if (in_run) return kOk;
        const platform::FileError error = file.unlock(offset, 1);
        return error == platform::FileError::kNone ? kOk : code_for_file_error(error);
    }
    return kUnlockFailed;
}

std::int32_t ByteLocks::lock_run(platform::File& file, std::int64_t first, std::int64_t last) {
    if (first < 0 || last < first) return kLockFailed;
    std::vector<Range> run;
    if (depth_ == 0) {
        run = free_ranges(first, last + 1);
        for (std::size_t i = 0; i < run.size(); ++i) {
            const platform::FileError error = file.lock(run[i].first, run[i].second);
            if (error == platform::FileError::kNone) continue;
            for (std::size_t taken = 0; taken < i; ++taken) file.unlock(run[taken].first, run[taken].second);
            return code_for_file_error(error);
        }
    }
    runs_.push_back(std::move(run));
    return kOk;
}

void ByteLocks::unlock_run(platform::File& file) {
    if (runs_.empty()) return;
    for (const Range& range : runs_.back()) file.unlock(range.first, range.second);
    runs_.pop_back();
    // A byte still held that only the run kept locked is taken on its own again, or
    // dropped when another handle got it meanwhile.
    for (auto it = held_.begin(); it != held_.end();) {
        if (!it->in_run || in_runs(it->offset)) {
            ++it;
        } else if (file.lock(it->offset, 1) == platform::FileError::kNone) {
            it->in_run = false;
            ++it;
        } else {
            it = held_.erase(it);
        }
    }
}

std::int32_t ByteLocks::lock_database(platform::File& file) {
    if (depth_++ > 0) return kOk;
    for (const Range& range : free_ranges(0, kWholeFileLength)) {
        const platform::FileError error = lock_waiting(file, range.first, range.second);
        if (error != platform::FileError::kNone) {
            for (const Range& taken : ranges_) file.unlock(taken.first, taken.second);
            ranges_.clear();
            --depth_;
            return code_for_file_error(error);
        }
        ranges_.push_back(range);
    }
    return kOk;
}

void ByteLocks::unlock_database(platform::File& file) {
    if (depth_ == 0 || --depth_ > 0) return;
    for (const Range& range : ranges_) file.unlock(range.first, range.second);
    ranges_.clear();
}

void ByteLocks::release_all(platform::File& file) {
    for (const Held& held : held_) {
        if (!held.in_run) file.unlock(held.offset, 1);
    }
    held_.clear();
    for (const auto& run : runs_) {
        for (const Range& range : run) file.unlock(range.first, range.second);
    }
    runs_.clear();
    for (const Range& range : ranges_) file.unlock(range.first, range.second);
    ranges_.clear();
}

bool ByteLocks::in_runs(std::int64_t offset) const {
    for (const auto& run : runs_) {
        for (const Range& range : run) {
            if (offset >= range.first && offset < range.first + range.second) return true;
        }
    }
    return false;
}

std::vector<ByteLocks::Range> ByteLocks::free_ranges(std::int64_t start, std::int64_t end) const {
    std::vector<Range> taken;
    for (const Held& held : held_) taken.emplace_back(held.offset, 1);
    for (const auto& run : runs_) taken.insert(taken.end(), run.begin(), run.end());
    std::sort(taken.begin(), taken.end());
    std::vector<Range> free;
    for (const Range& range : taken) {
        if (range.first >= end) break;
        if (range.first > start) free.emplace_back(start, range.first - start);
        start = std::max(start, range.first + range.second);
    }
    if (start < end) free.emplace_back(start, end - start);
    return free;
}

std::int32_t ByteLockGuard::acquire(std::int64_t offset, std::int32_t minimum_wait_ms) {
    release();
    const std::int32_t code = locks_.lock(file_, offset, minimum_wait_ms);
    if (code == kOk) {
        offset_ = offset;
        held_ = true;
    }
    return code;
}

void ByteLockGuard::release() {
    if (!held_) return;
    locks_.unlock(file_, offset_);
    held_ = false;
}

}  // namespace quillet::db
