// Opening a data file: share and access, the whole-file lock held while the file is
// checked, the password, the header and descriptor checks, the length reconciliation
// and the auxiliary file.
#include <cstring>

#include "db/engine.h"
#include "db/field_codec.h"
#include "db/file_replacement.h"
#include "db/file_names.h"
#include "db/result_code.h"
#include "platform/clock.h"

namespace quillet::db {
namespace {

// Far above any real record; keeps a damaged header from making the engine allocate
// gigabytes for one record.
constexpr std::int32_t kMaxRecordSize = 64 << 20;

platform::Share share_for(int share_mode) {
    switch (share_mode) {
        case 1: return platform::Share::kReadWrite;
        case 2: return platform::Share::kDenyRead;
        case 3: return platform::Share::kDenyWrite;
        default: return platform::Share::kExclusive;
    }
}

// Opens a file, retrying a sharing violation while the lock wait time allows.
std::int32_t open_waiting(platform::File& file, const std::string& path, platform::Access access,
                          platform::Share share) {
    platform::FileError error = file.open(path, access, share);
    const std::int32_t wait = lock_wait_time_ms();
    if (error == platform::FileError::kSharingViolation && wait > 0) {
        platform::Clock& clock = platform::clock();
        const std::uint32_t start = clock.tick_count_ms();
        while (error == platform::FileError::kSharingViolation) {
            const std::uint32_t now = clock.tick_count_ms();
            if (static_cast<std::int64_t>(now - start) >= wait) break;
            clock.sleep_ms(20 + now % 20);
            error = file.open(path, access, share);
        }
    }
    return error == platform::FileError::kNone ? kOk : code_for_file_error(error);
}

// Holds the whole-file lock for the rest of the open.
class WholeFileLock {
public:
    explicit WholeFileLock(platform::File& file) : file_(file) {}
    ~WholeFileLock() {
        if (held_) file_.unlock(0, kWholeFileLength);
    }
    WholeFileLock(const WholeFileLock&) = delete;
    WholeFileLock& operator=(const WholeFileLock&) = delete;

    std::int32_t acquire() {
        const platform::FileError error = lock_waiting(file_, 0, kWholeFileLength);
        held_ = error == platform::FileError::kNone;
        return held_ ? kOk : code_for_file_error(error);
    }

private:
    platform::File& file_;
    bool held_ = false;
};

bool digest_matches(const std::string& digest, const std::uint8_t* stored) {
    std::size_t length = 0;
    while (length < 36 && stored[length] != 0) ++length;
    if (length != digest.size()) return false;
    // Every byte is looked at, so the time taken tells nothing of where a guess differs.
    unsigned difference = 0;
    for (std::size_t i = 0; i < length; ++i) {
        char c = static_cast<char>(stored[i]);
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        difference |= static_cast<unsigned char>(c ^ digest[i]);
    }
    return difference == 0;
}

std::int32_t read_header(DataFile& db) {
    std::size_t got = 0;
    const platform::FileError error = db.data.read_at(0, db.header.data(), kHeaderSize, &got);
    if (error != platform::FileError::kNone) return code_for_file_error(error);
    return got == kHeaderSize ? kOk : kNotDataFile;
}

// Keys the file with the right password (`*key`), or fails with -78. A given password
// has keyed the file before its header was read; `prompt` asks for one instead.
std::int32_t check_password(DataFile& db, const std::string& password, bool prompt,
                            std::shared_ptr<ScrambleKey>* key) {
    if (std::memcmp(db.header.data(), "WEDB", 4) == 0) {
        db.data.set_key(nullptr);
        return prompt || password.empty() ? kOk : kWrongPassword;
    }
    for (int tries_left = prompt ? 3 : 1; tries_left > 0; --tries_left) {
        std::string typed = password;
        if (prompt) {
            if (!prompt_password(tries_left, &typed)) return kWrongPassword;
            db.data.set_key(ScrambleKey::for_password(typed));
            const std::int32_t code = read_header(db);
            if (code != kOk) return code;
        }
        if (!typed.empty()) {
            *key = ScrambleKey::for_password(typed);
            if (digest_matches((*key)->digest(), db.header.data() + 28)) return kOk;
        }
    }
    db.data.set_key(nullptr);
    key->reset();
    return kWrongPassword;
}

std::int32_t read_descriptors(DataFile& db, std::int64_t file_length) {
    std::uint8_t count_bytes[4];
    std::size_t got = 0;
    platform::FileError error = db.data.read_at(kHeaderSize, count_bytes, 4, &got);
    if (error != platform::FileError::kNone) return code_for_file_error(error);
    const std::int32_t count = get32(count_bytes);
    if (got != 4 || count <= 0) return kNotDataFile;
    // More descriptors than the file can hold would be a short read; refuse before
    // allocating for them.
    if (count > (file_length - kHeaderSize - 4) / kDescriptorSize) return kNotDataFile;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(count) * kDescriptorSize);
    error = db.data.read_at(kHeaderSize + 4, raw.data(), raw.size(), &got);
    if (error != platform::FileError::kNone) return code_for_file_error(error);
    if (got != raw.size()) return kNotDataFile;
    db.fields.resize(static_cast<std::size_t>(count));
    for (std::int32_t n = 0; n < count; ++n) {
        const std::uint8_t* d = raw.data() + static_cast<std::size_t>(n) * kDescriptorSize;
        const void* nul = std::memchr(d, 0, 17);
        const std::int32_t type = get32(d + 20);
        const std::int32_t offset = get32(d + 24);
        const std::int32_t text_width = get32(d + 28);
        if (nul == nullptr || offset < 0 || type < 1 || type > 12) return kNotDataFile;
        const auto field_type = static_cast<FieldType>(type);
        if (field_type == FieldType::kText && text_width < 1) return kNotDataFile;
        const std::int32_t width = field_width(field_type, text_width);
        // A field reaching past the record would make every read of it run off the record.
        if (static_cast<std::int64_t>(offset) + width > db.record_size) return kNotDataFile;
        db.fields[static_cast<std::size_t>(n)] = {reinterpret_cast<const char*>(d), field_type, offset, width};
    }
    db.data_start = kHeaderSize + 4 + static_cast<std::int64_t>(count) * kDescriptorSize;
    return kOk;
}

// Makes the file length agree with the record count.
std::int32_t reconcile_length(DataFile& db, std::int64_t file_length) {
    const std::int32_t count = get32(db.header.data() + kCountOffset);
    const std::int64_t whole = file_length < db.data_start ? 0 : (file_length - db.data_start) / db.record_size;
    std::int64_t wanted_length = db.record_position(count);
    if (whole < count) {
        if (db.read_only) return kDataFileSizeWrong;
        std::uint8_t bytes[4];
        put32(bytes, static_cast<std::int32_t>(whole));
        put32(db.header.data() + kCountOffset, static_cast<std::int32_t>(whole));
        const platform::FileError error = db.data.write_at(kCountOffset, bytes, 4);
        if (error != platform::FileError::kNone) return code_for_file_error(error);
        wanted_length = db.record_position(static_cast<std::int32_t>(whole));
    }
    if (db.read_only || wanted_length == file_length) return kOk;
    const platform::FileError error = db.data.file().set_length(wanted_length);
    if (error != platform::FileError::kNone) return code_for_file_error(error);
    return db.sync();
}

std::int32_t open_one_auxiliary(const DataFile& db, const std::string& path, platform::Access access,
                               platform::Share share, const std::shared_ptr<ScrambleKey>& key, bool read_only,
                               std::unique_ptr<AuxiliaryFile>* out) {
    auto aux = std::make_unique<AuxiliaryFile>();
    if (aux->keyed().file().open(path, access, share) != platform::FileError::kNone) return kAuxReadFailed;
    aux->keyed().set_key(key);
    aux->set_locking(share != platform::Share::kExclusive);
    const std::int32_t code = aux->check_on_open(db.version(), read_only);
    if (code != kOk) return code;
    *out = std::move(aux);
    return kOk;
}

std::int32_t open_auxiliary(DataFile& db, platform::Access access, platform::Share share,
                            const std::shared_ptr<ScrambleKey>& key) {
    const std::string path = auxiliary_file_name(db.full_path);
    const std::string pending = pending_auxiliary_name(path);
    // A password change cut short leaves the new auxiliary file under its pending name. It
    // belongs to the store exactly when it reads under the data file's key, that is when
    // the new data file was already in place; otherwise the old files are both still there.
    if (platform::is_existing_file(pending)) {
        std::unique_ptr<AuxiliaryFile> candidate;
        const bool belongs = open_one_auxiliary(db, pending, access, share, key, /*read_only=*/true, &candidate) == kOk;
        if (db.read_only && belongs) {
            db.aux = std::move(candidate);
            return kOk;
        }
        candidate.reset();
        if (!db.read_only) {
            const bool settled = belongs ? platform::replace_file(pending, path) : platform::remove_file(pending);
            if (!settled || platform::sync_parent_directory(path) != platform::FileError::kNone) return kAuxReadFailed;
        }
    }
    return open_one_auxiliary(db, path, access, share, key, db.read_only, &db.aux);
}

std::int32_t open_checked(DataFile& db, const AccessOptions& options, bool ask_password) {
    const platform::Access access = options.read_only ? platform::Access::kRead : platform::Access::kReadWrite;
    const platform::Share share = share_for(options.share_mode);
    std::int32_t code = open_waiting(db.data.file(), db.full_path, access, share);
    if (code != kOk) return code;
    WholeFileLock whole_file(db.data.file());
    if (share != platform::Share::kExclusive && (code = whole_file.acquire()) != kOk) return code;

    std::shared_ptr<ScrambleKey> key;
    if (!ask_password) db.data.set_key(ScrambleKey::for_password(options.password));
    if ((code = read_header(db)) != kOk) return code;
    if (std::memcmp(db.header.data(), "WEDB", 4) != 0 && std::memcmp(db.header.data(), "WCDB", 4) != 0) {
        return kNotDataFile;
    }
    if ((code = check_password(db, options.password, ask_password, &key)) != kOk) return code;
    db.record_size = get32(db.header.data() + 24);
    if (db.record_size < 4 || db.record_size > kMaxRecordSize || get32(db.header.data() + kCountOffset) < 0 ||
        get32(db.header.data() + 20) < 1) {
        return kNotDataFile;
    }
    if (db.version() > kFormatVersion) return kVersionTooHigh;

    std::int64_t file_length = 0;
    const platform::FileError error = db.data.file().length(&file_length);
    if (error != platform::FileError::kNone) return code_for_file_error(error);
    if ((code = read_descriptors(db, file_length)) != kOk) return code;
    if ((code = reconcile_length(db, file_length)) != kOk) return code;
    db.record_buffer.resize(static_cast<std::size_t>(db.record_size));

    for (const FieldDescriptor& field : db.fields) {
        if (is_chain_type(field.type)) return open_auxiliary(db, access, share, key);
    }
    return kOk;
}

}  // namespace

std::int32_t open_data_file(const std::string& full_path, const AccessOptions& options, bool ask_password,
                            std::unique_ptr<DataFile>* out) {
    const bool exclusive = options.share_mode < 1 || options.share_mode > 3;
    auto db = std::make_unique<DataFile>(exclusive ? 1 : 0);
    db->full_path = full_path;
    db->title = file_title(full_path);
    db->read_only = options.read_only;
    db->share = share_for(options.share_mode);
    const std::int32_t code = open_checked(*db, options, ask_password);
    if (code != kOk) return code;
    *out = std::move(db);
    return kOk;
}

}  // namespace quillet::db
