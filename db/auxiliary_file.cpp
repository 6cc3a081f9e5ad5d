#include "db/auxiliary_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "db/byte_locks.h"
#include "db/little_endian.h"
#include "db/result_code.h"

namespace quillet::db {
namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kLinkSize = 12;
constexpr char kMagic[4] = {'W', 'E', 'D', 'T'};

std::int64_t block_offset(std::int32_t block) { return kAuxBlockSize * block; }

// The byte locks one chain operation holds on the auxiliary file, all released when it ends.
class ChainLocks {
public:
    ChainLocks(platform::File& file, bool locking) : file_(file), locking_(locking) {}
    ~ChainLocks() {
        for (const std::int64_t offset : held_) file_.unlock(offset, 1);
    }
    ChainLocks(const ChainLocks&) = delete;
    ChainLocks& operator=(const ChainLocks&) = delete;

    std::int32_t lock(std::int64_t offset) {
        if (!locking_ || std::find(held_.begin(), held_.end(), offset) != held_.end()) return kOk;
        const platform::FileError error = lock_waiting(file_, offset, 1);
        if (error != platform::FileError::kNone) return code_for_file_error(error);
        held_.push_back(offset);
        return kOk;
    }
    void unlock(std::int64_t offset) {
        const auto it = std::find(held_.begin(), held_.end(), offset);
        if (it == held_.end()) return;
        file_.unlock(offset, 1);
        held_.erase(it);
    }

private:
    platform::File& file_;
    bool locking_;
    std::vector<std::int64_t> held_;
};

struct Header {
    std::uint8_t raw[kHeaderSize];
    std::int32_t block_count() const { return get32(raw + 16); }
    std::int32_t free_count() const { return get32(raw + 20); }
    std::int32_t free_head() const { return get32(raw + 24); }
    void set_block_count(std::int32_t v) { put32(raw + 16, v); }
    void set_free_count(std::int32_t v) { put32(raw + 20, v); }
    void set_free_head(std::int32_t v) { put32(raw + 24, v); }
    bool sane() const {
        return block_count() > 0 && free_count() >= 0 && free_count() < block_count() && free_head() >= 0 &&
               free_head() < block_count();
    }
};

std::int32_t io_code(platform::FileError error) {
    return error == platform::FileError::kNone ? kOk : code_for_file_error(error);
}

// One write or release: the state shared by its steps.
class ChainWriter {
public:
    ChainWriter(KeyedFile& file, bool locking) : file_(file), locks_(file.file(), locking) {}

    std::int32_t write(const char* bytes, std::size_t length, std::int32_t old, std::int32_t* first) {
        *first = 0;
        std::int32_t code = file_blocks();
        if (code != kOk) return code;
        std::int32_t previous = 0;
        std::uint8_t image[kAuxBlockSize];
        for (std::size_t done = 0; done < length;) {
            const auto chunk = static_cast<std::int32_t>(std::min<std::size_t>(length - done, kAuxBlockData));
            std::int32_t block = 0;
            if (old != 0) {
                if ((code = visit(old)) != kOk || (code = locks_.lock(block_offset(old))) != kOk) return code;
                std::uint8_t link[kLinkSize];
                if ((code = read_link(old, link)) != kOk) return code;
                block = old;
                old = get32(link + 4);
            } else if ((code = take_fresh_block(&block)) != kOk) {
                return code;
            }
            if (*first == 0) *first = block;
            if ((code = locks_.lock(block_offset(block))) != kOk) return code;
            if (previous != 0) {
                put32(image + 4, block);
                if ((code = io_code(file_.write_at(block_offset(previous), image, kAuxBlockSize))) != kOk) return code;
                locks_.unlock(block_offset(previous));
            }
            std::memset(image, 0, sizeof image);
            put32(image, previous);
            put32(image + 8, chunk);
            std::memcpy(image + kLinkSize, bytes + done, static_cast<std::size_t>(chunk));
            previous = block;
            done += static_cast<std::size_t>(chunk);
        }
        if (previous != 0 && (code = io_code(file_.write_at(block_offset(previous), image, kAuxBlockSize))) != kOk) {
            return code;
        }
        if (old != 0 && (code = release_from(old)) != kOk) return code;
        return finish();
    }

private:
    std::int32_t file_blocks() {
        std::int64_t length = 0;
        const std::int32_t code = io_code(file_.file().length(&length));
        blocks_in_file_ = length / kAuxBlockSize;
        return code;
    }

    // Every block an operation touches must exist and be touched once: this is what stops
    // a damaged chain from looping or running off the file.
    std::int32_t visit(std::int32_t block) {
        if (block < 1 || block >= blocks_in_file_ || std::find(visited_.begin(), visited_.end(), block) != visited_.end()) {
            return kAuxAccessFailed;
        }
        visited_.push_back(block);
        return kOk;
    }

    std::int32_t read_link(std::int32_t block, std::uint8_t* link) {
        std::size_t got = 0;
        const std::int32_t code = io_code(file_.read_at(block_offset(block), link, kLinkSize, &got));
        if (code != kOk) return code;
        return got == kLinkSize ? kOk : kAuxAccessFailed;
    }

    std::int32_t write_link(std::int32_t block, const std::uint8_t* link) {
        return io_code(file_.write_at(block_offset(block), link, kLinkSize));
    }

    std::int32_t read_header() {
        if (header_read_) return kOk;
        std::int32_t code = locks_.lock(0);
        if (code != kOk) return code;
        std::size_t got = 0;
        if ((code = io_code(file_.read_at(0, header_.raw, kHeaderSize, &got))) != kOk) return code;
        if (got != kHeaderSize || !header_.sane()) return kAuxAccessFailed;
        header_read_ = true;
        return kOk;
    }

    std::int32_t take_fresh_block(std::int32_t* block) {
        std::int32_t code = read_header();
        if (code != kOk) return code;
        if (header_.free_count() > 0) {
            const std::int32_t head = header_.free_head();
            std::uint8_t link[kLinkSize];
            if ((code = visit(head)) != kOk || (code = locks_.lock(block_offset(head))) != kOk ||
                (code = read_link(head, link)) != kOk) {
                return code;
            }
            header_.set_free_head(get32(link + 4));
            header_.set_free_count(header_.free_count() - 1);
            *block = head;
            return kOk;
        }
        if (header_.block_count() == INT32_MAX) return kAuxAccessFailed;
        *block = header_.block_count();
        header_.set_block_count(*block + 1);
        blocks_in_file_ = std::max<std::int64_t>(blocks_in_file_, *block + 1);
        visited_.push_back(*block);
        return kOk;
    }

    std::int32_t release_from(std::int32_t old) {
        std::int32_t code = read_header();
        if (code != kOk) return code;
        std::int32_t block = old;
        std::int32_t released = 0;
        bool released_last_block = false;
        std::uint8_t image[kAuxBlockSize];
        while (block != 0) {
            if ((code = visit(block)) != kOk || (code = locks_.lock(block_offset(block))) != kOk) return code;
            std::size_t got = 0;
            if ((code = io_code(file_.read_at(block_offset(block), image, kAuxBlockSize, &got))) != kOk) return code;
            if (got != kAuxBlockSize) return kAuxAccessFailed;
            const std::int32_t next = get32(image + 4);
            std::memset(image + 8, 0, kAuxBlockSize - 8);
            if (block == old) put32(image, 0);
            if (next == 0) {
                put32(image + 4, header_.free_head());
                last_released_ = block;
            }
            if ((code = io_code(file_.write_at(block_offset(block), image, kAuxBlockSize))) != kOk) return code;
            locks_.unlock(block_offset(block));
            released_last_block = released_last_block || block == header_.block_count() - 1;
            ++released;
            block = next;
        }
        if (header_.free_head() != 0) {
            const std::int32_t head = header_.free_head();
            std::uint8_t link[kLinkSize];
            if (head < 1 || head >= blocks_in_file_) return kAuxAccessFailed;
            if ((code = locks_.lock(block_offset(head))) != kOk || (code = read_link(head, link)) != kOk) return code;
            put32(link, last_released_);
            if ((code = write_link(head, link)) != kOk) return code;
        }
        header_.set_free_head(old);
        header_.set_free_count(header_.free_count() + released);
        return released_last_block ? cut_trailing_free_blocks() : kOk;
    }

    std::int32_t cut_trailing_free_blocks() {
        std::int32_t block = header_.block_count() - 1;
        std::int32_t code = kOk;
        for (; block >= 1; --block) {
            std::uint8_t link[kLinkSize];
            if (block >= blocks_in_file_) return kAuxAccessFailed;
            if ((code = read_link(block, link)) != kOk) return code;
            if (get32(link + 8) > 0) break;
            const std::int32_t previous = get32(link);
            const std::int32_t next = get32(link + 4);
            const bool was_head = header_.free_head() == block;
            if (was_head) {
                header_.set_free_head(next);
            } else if ((code = relink(previous, 4, next)) != kOk) {
                return code;
            }
            if (next != 0 && (code = relink(next, 0, was_head ? 0 : previous)) != kOk) return code;
            header_.set_free_count(std::max(0, header_.free_count() - 1));
        }
        header_.set_block_count(block + 1);
        if (header_.free_head() >= block + 1) return kAuxAccessFailed;
        return io_code(file_.file().set_length(static_cast<std::int64_t>(block + 1) * kAuxBlockSize));
    }

    // Sets one link field (0 = previous, 4 = next) of a block.
    std::int32_t relink(std::int32_t block, int field, std::int32_t value) {
        if (block < 1 || block >= blocks_in_file_) return kAuxAccessFailed;
        std::uint8_t link[kLinkSize];
        std::int32_t code = locks_.lock(block_offset(block));
        if (code != kOk || (code = read_link(block, link)) != kOk) return code;
        put32(link + field, value);
        return write_link(block, link);
    }

    std::int32_t finish() {
        if (!header_read_) return kOk;
        return io_code(file_.write_at(0, header_.raw, kHeaderSize));
    }

    KeyedFile& file_;
    ChainLocks locks_;
    Header header_{};
    bool header_read_ = false;
    std::int64_t blocks_in_file_ = 0;
    std::vector<std::int32_t> visited_;
    std::int32_t last_released_ = 0;
};

}  // namespace

std::string empty_auxiliary_image(std::int32_t version) {
    std::string image(kAuxBlockSize, '\0');
    auto* raw = reinterpret_cast<std::uint8_t*>(image.data());
    std::memcpy(raw, kMagic, 4);
    put32(raw + 4, version);
    put32(raw + 16, 1);
    return image;
}

std::int32_t AuxiliaryFile::check_on_open(std::int32_t data_version, bool read_only) {
    Header header{};
    std::size_t got = 0;
    if (file_.read_at(0, header.raw, kHeaderSize, &got) != platform::FileError::kNone || got != kHeaderSize ||
        std::memcmp(header.raw, kMagic, 4) != 0 || !header.sane()) {
        return kAuxReadFailed;
    }
    if (get32(header.raw + 4) != data_version) return kAuxVersionMismatch;
    std::int64_t length = 0;
    std::int32_t code = io_code(file_.file().length(&length));
    if (code != kOk) return code;
    const std::int64_t blocks = length / kAuxBlockSize;
    if (blocks >= header.block_count()) return kOk;
    if (read_only) return kAuxDamaged;
    // The file lost its tail: fewer blocks than the header counts. The free list may then
    // point past the end; such links are refused when they are followed.
    header.set_block_count(static_cast<std::int32_t>(std::max<std::int64_t>(blocks, 1)));
    if ((code = io_code(file_.write_at(16, header.raw + 16, 4))) != kOk) return code;
    return io_code(file_.file().sync());
}

std::int32_t AuxiliaryFile::read_chain(std::int32_t first, std::string* out) {
    out->clear();
    if (first == 0) return kOk;
    if (!file_.file().is_open()) return kAuxAccessFailed;
    std::int64_t length = 0;
    std::int32_t code = io_code(file_.file().length(&length));
    if (code != kOk) return code;
    const std::int64_t blocks = length / kAuxBlockSize;
    ChainLocks locks(file_.file(), locking_);
    std::uint8_t image[kAuxBlockSize];
    std::int32_t previous = 0;
    std::int64_t steps = 0;
    for (std::int32_t block = first; block != 0;) {
        // A chain longer than the file has blocks must loop.
        if (block < 1 || block >= blocks || ++steps > blocks) return kAuxAccessFailed;
        if ((code = locks.lock(block_offset(block))) != kOk) return code;
        if (previous != 0) locks.unlock(block_offset(previous));
        std::size_t got = 0;
        if ((code = io_code(file_.read_at(block_offset(block), image, kAuxBlockSize, &got))) != kOk) return code;
        const std::int32_t used = get32(image + 8);
        if (got != kAuxBlockSize || used < 1 || used > kAuxBlockData) return kAuxAccessFailed;
        out->append(reinterpret_cast<const char*>(image + kLinkSize), static_cast<std::size_t>(used));
        previous = block;
        block = get32(image + 4);
    }
    return kOk;
}

std::int32_t AuxiliaryFile::write_chain(const char* bytes, std::size_t length, std::int32_t old,
                                        std::int32_t* first) {
    if (!file_.file().is_open()) return kAuxAccessFailed;
    ChainWriter writer(file_, locking_);
    return writer.write(bytes, length, old, first);
}

std::int32_t AuxiliaryFile::release_chain(std::int32_t first) {
    std::int32_t unused = 0;
    return write_chain(nullptr, 0, first, &unused);
}

bool AuxiliaryFile::check_chain(std::int32_t first, std::string* problem) {
    std::string bytes;
    const std::int32_t code = read_chain(first, &bytes);
    if (code == kOk) return true;
    *problem = "block chain from block " + std::to_string(first) + " is damaged (" + std::to_string(code) + ")";
    return false;
}

}  // namespace quillet::db
