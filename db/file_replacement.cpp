#include "db/file_replacement.h"

#include <algorithm>
#include <vector>

#include "db/engine.h"
#include "db/file_names.h"
#include "db/result_code.h"

namespace quillet::db {
namespace {

constexpr std::int64_t kCopyPiece = 512 * 1024;

std::int32_t io_code(platform::FileError error) {
    return error == platform::FileError::kNone ? kOk : code_for_file_error(error);
}

}  // namespace

FileReplacement::FileReplacement(std::string target, std::shared_ptr<ScrambleKey> key) : target_(std::move(target)) {
    file_.set_key(std::move(key));
}

FileReplacement::~FileReplacement() {
    if (renamed_ || name_.empty()) return;
    file_.file().close();
    platform::remove_file(name_);
}

std::int32_t FileReplacement::create() {
    return io_code(platform::create_private_temporary(target_, &file_.file(), &name_));
}

std::int32_t FileReplacement::write_at(std::int64_t offset, const void* data, std::size_t length) {
    const std::int32_t code = io_code(file_.write_at(offset, data, length));
    // The disk works while the rest is copied; the sync before the rename then waits less.
    if (code == kOk) file_.file().start_writeback(offset, static_cast<std::int64_t>(length));
    return code;
}

std::int32_t FileReplacement::sync() { return io_code(file_.file().sync()); }

std::int32_t FileReplacement::rename_to(const std::string& name) {
    if (!platform::replace_file(name_, name)) return kUnknownError;
    // From here on the temporary's name is gone: nothing is left to remove.
    name_ = name;
    renamed_ = true;
    in_place_ = name == target_;
    return io_code(platform::sync_parent_directory(name));
}

SoleAccess::~SoleAccess() {
    if (!held_) return;
    db_.data.file().change_share(db_.share);
    if (db_.aux) db_.aux->keyed().file().change_share(db_.share);
}

std::int32_t SoleAccess::acquire() {
    platform::FileError error = db_.data.file().change_share(platform::Share::kExclusive);
    if (error == platform::FileError::kNone && db_.aux) {
        error = db_.aux->keyed().file().change_share(platform::Share::kExclusive);
        if (error != platform::FileError::kNone) db_.data.file().change_share(db_.share);
    }
    held_ = error == platform::FileError::kNone;
    if (held_) {
        // Holding the files alone, this process is the only one that could be writing a
        // replacement: temporaries beside them are what a crashed rewrite left.
        platform::remove_private_temporaries(db_.full_path);
        if (db_.aux) platform::remove_private_temporaries(auxiliary_file_name(db_.full_path));
    }
    return io_code(error);
}

std::int32_t copy_range(KeyedFile& from, FileReplacement& to, std::int64_t offset, std::int64_t length) {
    KeyedFile& out = to.keyed();
    if (length <= 0) return kOk;
    // Under one key the scrambled bytes are already right for the same position.
    if (from.is_keyed_with(out.key().get())) {
        const platform::FileError copied = out.file().copy_from(from.file(), offset, length);
        if (copied == platform::FileError::kNone) out.file().start_writeback(offset, length);
        return copied == platform::FileError::kEndOfFile ? kReadRecordFailed : io_code(copied);
    }
    // Under two, each piece is turned over in place, from the one key to the other.
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(std::min(kCopyPiece, length)));
    for (std::int64_t done = 0; done < length;) {
        const std::int64_t at = offset + done;
        const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(piece.size(), length - done));
        std::size_t got = 0;
        const platform::FileError error = from.read_scrambled_at(at, piece.data(), wanted, &got);
        if (error != platform::FileError::kNone) return io_code(error);
        if (got < wanted) return kReadRecordFailed;
        from.unscramble(at, piece.data(), got);
        if (out.key()) out.key()->apply(at, piece.data(), got);
        const platform::FileError written = out.file().write_at(at, piece.data(), got);
        if (written != platform::FileError::kNone) return io_code(written);
        out.file().start_writeback(at, static_cast<std::int64_t>(got));
        done += static_cast<std::int64_t>(got);
    }
    return kOk;
}

std::string pending_auxiliary_name(const std::string& auxiliary_path) { return auxiliary_path + "~pending"; }

void adopt_data_file(DataFile& db, FileReplacement& replacement) {
    db.locks.release_all(db.data.file());
    db.data.file().close();
    db.data.file() = std::move(replacement.file().file());
    db.data.set_key(replacement.file().key());
}

void adopt_auxiliary_file(DataFile& db, FileReplacement& replacement) {
    KeyedFile& aux = db.aux->keyed();
    aux.file().close();
    aux.file() = std::move(replacement.file().file());
    aux.set_key(replacement.file().key());
}

}  // namespace quillet::db
