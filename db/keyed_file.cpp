#include "db/keyed_file.h"

#include <cstring>

namespace quillet::db {
namespace {

constexpr std::size_t kRekeyPiece = 10240;

bool same_key(const ScrambleKey* a, const ScrambleKey* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return a == b || a->digest() == b->digest();
}

}  // namespace

void KeyedFile::set_key(std::shared_ptr<ScrambleKey> key) {
    read_key_ = key;
    write_key_ = std::move(key);
}

platform::FileError KeyedFile::read_at(std::int64_t offset, void* buffer, std::size_t length,
                                       std::size_t* bytes_read) {
    const platform::FileError error = file_.read_at(offset, buffer, length, bytes_read);
    if (error == platform::FileError::kNone && read_key_) {
        read_key_->apply(offset, static_cast<std::uint8_t*>(buffer), *bytes_read);
    }
    return error;
}

platform::FileError KeyedFile::write_at(std::int64_t offset, const void* data, std::size_t length) {
    if (!write_key_ || offset + static_cast<std::int64_t>(length) <= kScrambleStart) {
        return file_.write_at(offset, data, length);
    }
    if (scratch_.size() < length) scratch_.resize(length);
    std::memcpy(scratch_.data(), data, length);
    write_key_->apply(offset, scratch_.data(), length);
    return file_.write_at(offset, scratch_.data(), length);
}

bool KeyedFile::rekey(std::shared_ptr<ScrambleKey> key) {
    if (same_key(key.get(), write_key_.get())) return true;
    write_key_ = std::move(key);
    std::vector<std::uint8_t> piece(kRekeyPiece);
    for (std::int64_t offset = kScrambleStart;;) {
        std::size_t got = 0;
        if (read_at(offset, piece.data(), piece.size(), &got) != platform::FileError::kNone ||
            (got > 0 && write_at(offset, piece.data(), got) != platform::FileError::kNone)) {
            write_key_ = read_key_;
            return false;
        }
        if (got == 0) break;
        offset += static_cast<std::int64_t>(got);
    }
    read_key_ = write_key_;
    return true;
}

}  // namespace quillet::db
