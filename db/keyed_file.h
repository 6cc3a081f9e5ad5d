// A data or auxiliary file whose bytes from offset 4 on pass through the scrambling
// transform: reads unscramble and writes scramble a copy with the file's key. Used by one
// thread at a time (the engine's mutex).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "db/scrambling.h"
#include "platform/file.h"

namespace quillet::db {

class KeyedFile {
public:
    platform::File& file() { return file_; }

    // nullptr: no password, bytes pass unchanged.
    void set_key(std::shared_ptr<ScrambleKey> key);

    platform::FileError read_at(std::int64_t offset, void* buffer, std::size_t length, std::size_t* bytes_read);
    platform::FileError write_at(std::int64_t offset, const void* data, std::size_t length);
    // A read that leaves the bytes scrambled, for scans that unscramble only the bytes they
    // use; `unscramble` then turns bytes that lie at file position `offset` into plain ones.
    platform::FileError read_scrambled_at(std::int64_t offset, void* buffer, std::size_t length,
                                          std::size_t* bytes_read) {
        return file_.read_at(offset, buffer, length, bytes_read);
    }
    bool is_scrambled() const { return key_ != nullptr; }
    void unscramble(std::int64_t offset, std::uint8_t* bytes, std::size_t length) {
        if (key_) key_->apply(offset, bytes, length);
    }

    const std::shared_ptr<ScrambleKey>& key() const { return key_; }
    // True when `key` scrambles exactly as the file's key does (nullptr: no password).
    bool is_keyed_with(const ScrambleKey* key) const;

private:
    platform::File file_;
    std::shared_ptr<ScrambleKey> key_;
    std::vector<std::uint8_t> scratch_;
};

}  // namespace quillet::db
