#include "db/keyed_file.h"

#include <cstring>

namespace quillet::db {
namespace {

bool same_key(const ScrambleKey* a, const ScrambleKey* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return a == b || a->digest() == b->digest();
}

}  // namespace

void KeyedFile::set_key(std::shared_ptr<ScrambleKey> key) { key_ = std::move(key); }

platform::FileError KeyedFile::read_at(std::int64_t offset, void* buffer, std::size_t length,
                                       std::size_t* bytes_read) {
    const platform::FileError error = file_.read_at(offset, buffer, length, bytes_read);
    if (error == platform::FileError::kNone && key_) {
        key_->apply(offset, static_cast<std::uint8_t*>(buffer), *bytes_read);
    }
    return error;
}

platform::FileError KeyedFile::write_at(std::int64_t offset, const void* data, std::size_t length) {
    if (!key_ || offset + static_cast<std::int64_t>(length) <= kScrambleStart) {
        return file_.write_at(offset, data, length);
    }
    if (scratch_.size() < length) scratch_.resize(length);
    std::memcpy(scratch_.data(), data, length);
    key_->apply(offset, scratch_.data(), length);
    return file_.write_at(offset, scratch_.data(), length);
}

bool KeyedFile::is_keyed_with(const ScrambleKey* key) const { return same_key(key, key_.get()); }

}  // namespace quillet::db
