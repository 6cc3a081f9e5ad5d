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
    const platform::FileError error = lock_waiting(file, offset, 1, minimum_wait_ms);
    if (error != platform::FileError::kNone) return code_for_file_error(error);
    held_.push_back({offset, 1});
    return kOk;
}

std::int32_t ByteLocks::unlock(platform::File& file, std::int64_t offset) {
    if (offset < 0) return kUnlockFailed;
    if (depth_ > 0) return kOk;
    for (auto it = held_.begin(); it != held_.end(); ++it) {
        if (it->offset != offset) continue;
        if (--it->holders > 0) return kOk;
        held_.erase(it);
        const platform::FileError error = file.unlock(offset, 1);
        return error == platform::FileError::kNone ? kOk : code_for_file_error(error);
    }
    return kUnlockFailed;
}

std::int32_t ByteLocks::lock_database(platform::File& file) {
    if (depth_++ > 0) return kOk;
    std::vector<std::int64_t> own;
    for (const Held& held : held_) {
        if (held.offset < kWholeFileLength) own.push_back(held.offset);
    }
    std::sort(own.begin(), own.end());
    own.push_back(kWholeFileLength);
    std::int64_t start = 0;
    for (const std::int64_t end : own) {
        if (end > start) {
            const platform::FileError error = lock_waiting(file, start, end - start);
            if (error != platform::FileError::kNone) {
                for (const auto& range : ranges_) file.unlock(range.first, range.second);
                ranges_.clear();
                --depth_;
                return code_for_file_error(error);
            }
            ranges_.emplace_back(start, end - start);
        }
        start = end + 1;
    }
    return kOk;
}

void ByteLocks::unlock_database(platform::File& file) {
    if (depth_ == 0 || --depth_ > 0) return;
    for (const auto& range : ranges_) file.unlock(range.first, range.second);
    ranges_.clear();
}

void ByteLocks::release_all(platform::File& file) {
    for (const Held& held : held_) file.unlock(held.offset, 1);
    held_.clear();
    for (const auto& range : ranges_) file.unlock(range.first, range.second);
    ranges_.clear();
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
