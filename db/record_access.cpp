// The engine's work on one open data file, shared by the handles and the command set:
// every byte lock taken is held by a guard, and every change is made durable before it
// reports success.
#include "db/record_access.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "db/field_codec.h"
#include "db/file_names.h"
#include "db/file_replacement.h"
#include "db/names.h"
#include "db/result_code.h"
#include "platform/file.h"

namespace quillet::db {
namespace {

constexpr std::int32_t kRecordCountWaitMs = 2000;
constexpr std::int32_t kBatchBytes = 163840;

std::int32_t record_file_length(DataFile& db, std::int64_t* length) { return io_code(db.data.file().length(length)); }

// Values checked and converted for the first fields; -72 on a mismatch.
std::int32_t coerce_all(const DataFile& db, const std::vector<std::optional<Value>>& values,
                        std::vector<std::optional<Value>>* out) {
    const std::size_t n = std::min(values.size(), db.fields.size());
    out->assign(n, std::nullopt);
    for (std::size_t i = 0; i < n; ++i) {
        if (!values[i]) continue;
        Value converted;
        if (!coerce_value(*values[i], db.fields[i].type, &converted)) return kValueTypeMismatch;
        (*out)[i] = std::move(converted);
    }
    return kOk;
}

// Puts the values into a record image; chain values rewrite the chain the record names.
std::int32_t apply_values(DataFile& db, const std::vector<std::optional<Value>>& values, std::uint8_t* record,
                          bool* aux_written) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i]) continue;
        const FieldDescriptor& field = db.fields[i];
        std::uint8_t* at = record + field.offset;
        if (!is_chain_type(field.type)) {
            encode_value(*values[i], field.type, field.width, at);
            continue;
        }
        const std::string& bytes = field.type == FieldType::kBytes ? std::get<ByteSet>(*values[i]).bytes
                                                                   : std::get<std::string>(*values[i]);
        // A memo holds the text up to its NUL.
        const std::size_t length = field.type == FieldType::kMemo ? std::strlen(bytes.c_str()) : bytes.size();
        if (!db.aux) return kAuxAccessFailed;
        std::int32_t first = 0;
        const std::int32_t code = db.aux->write_chain(bytes.data(), length, get32(at), &first);
        *aux_written = true;
        if (code != kOk) return code;
        put32(at, first);
    }
    return kOk;
}

// The data file, and the auxiliary file when there is one, copied under `key` into new
// files that replace the old ones (see file_replacement.h). The new auxiliary file waits
// under its pending name until the new data file is in place; an open that finds it
// there keeps it exactly when it reads under the data file's key, and so finishes or
// drops the change (see database_open.cpp). A crash thus leaves both files under the old
// key or both under the new one.
std::int32_t replace_under_key(DataFile& db, const std::shared_ptr<ScrambleKey>& key, const char* magic,
                               const std::uint8_t* digest_area) {
    std::int64_t length = 0;
    std::int32_t code = record_file_length(db, &length);
    if (code != kOk) return code;
    FileReplacement data(db.full_path, key);
    if ((code = data.create()) != kOk || (code = copy_range(db.data, data, 0, length)) != kOk ||
        (code = data.write_at(0, magic, 4)) != kOk || (code = data.write_at(28, digest_area, 36)) != kOk ||
        (code = data.sync()) != kOk) {
        return code;
    }
    std::unique_ptr<FileReplacement> aux;
    const std::string aux_path = auxiliary_file_name(db.full_path);
    const std::string pending = pending_auxiliary_name(aux_path);
    if (db.aux) {
        aux = std::make_unique<FileReplacement>(aux_path, key);
        if ((code = io_code(db.aux->keyed().file().length(&length))) != kOk || (code = aux->create()) != kOk ||
            (code = copy_range(db.aux->keyed(), *aux, 0, length)) != kOk || (code = aux->sync()) != kOk ||
            (code = aux->rename_to(pending)) != kOk) {
            platform::remove_file(pending);  // when the rename was made but not synced
            return code;
        }
    }
    code = data.rename_to(db.full_path);
    if (!data.is_in_place()) {
        if (aux) platform::remove_file(pending);
        return code;
    }
    adopt_data_file(db, data);
    if (aux) {
        // A failure here is repaired by the next open, which finds the pending file.
        const std::int32_t renamed = aux->rename_to(aux_path);
        adopt_auxiliary_file(db, *aux);
        if (code == kOk) code = renamed;
    }
    return code;
}

}  // namespace

std::int32_t io_code(platform::FileError error) {
    return error == platform::FileError::kNone ? kOk : code_for_file_error(error);
}

std::int32_t read_exact(DataFile& db, std::int64_t offset, void* buffer, std::size_t length, std::int32_t short_code) {
    std::size_t got = 0;
    const std::int32_t code = io_code(db.data.read_at(offset, buffer, length, &got));
    if (code != kOk) return code;
    return got == length ? kOk : short_code;
}

std::int32_t read_counters(DataFile& db, std::int32_t* count, std::int32_t* next_serial, std::int32_t minimum_wait_ms) {
    ByteLockGuard header(db.locks, db.data.file());
    std::int32_t code = header.acquire(kCountOffset, minimum_wait_ms);
    if (code != kOk) return code;
    std::uint8_t bytes[8];
    if ((code = read_exact(db, kCountOffset, bytes, 8, kRecordCountFailed)) != kOk) return code;
    *count = std::max(get32(bytes), 0);
    *next_serial = std::max(get32(bytes + 4), 1);
    return kOk;
}

std::int32_t count_records(DataFile& db, std::int32_t* count) {
    std::int32_t next_serial = 0;
    return read_counters(db, count, &next_serial, kRecordCountWaitMs);
}

std::int32_t decode_field(DataFile& db, const FieldDescriptor& field, const std::uint8_t* bytes, Value* out) {
    if (!is_chain_type(field.type)) {
        *out = decode_value(bytes, field.type, field.width);
        return kOk;
    }
    if (!db.aux) return kReadFieldFailed;
    std::string chain;
    const std::int32_t code = db.aux->read_chain(get32(bytes), &chain);
    if (code != kOk) return code;
    *out = chain_value(field.type, std::move(chain));
    return kOk;
}

const FieldDescriptor* find_field(const DataFile& db, std::string_view name) {
    for (const FieldDescriptor& field : db.fields) {
        if (equal_ignoring_case(field.name, name)) return &field;
    }
    return nullptr;
}

const std::uint8_t* plain_field(DataFile& db, const std::uint8_t* record, std::int64_t scrambled_at,
                                const FieldDescriptor& field) {
    if (scrambled_at < 0) return record + field.offset;
    db.scan_field.assign(record + field.offset, record + field.offset + field.width);
    db.data.unscramble(scrambled_at + field.offset, db.scan_field.data(), db.scan_field.size());
    return db.scan_field.data();
}

std::int32_t set_deletion_mark(DataFile& db, std::int32_t number, bool mark) {
    if (number < 0) return kNoCurrentRecord;
    const std::int64_t position = db.record_position(number);
    ByteLockGuard lock(db.locks, db.data.file());
    std::int32_t code = lock.acquire(position);
    std::int64_t length = 0;
    if (code != kOk || (code = record_file_length(db, &length)) != kOk) return code;
    if (position >= length) return kNoCurrentRecord;
    std::uint8_t bytes[4];
    if ((code = read_exact(db, position, bytes, 4, kReadRecordFailed)) != kOk) return code;
    const std::int32_t serial = get32(bytes);
    if (mark ? serial <= 0 : serial >= 0) return kOk;
    put32(bytes, -serial);
    if ((code = io_code(db.data.write_at(position, bytes, 4))) != kOk) return code;
    return db.sync();
}

std::int32_t batch_records(const DataFile& db) { return std::max(1, kBatchBytes / db.record_size); }

std::int32_t walk_records(DataFile& db, std::int32_t start, std::int32_t count, bool* stopped, const RawVisit& visit) {
    *stopped = false;
    if (start >= count) return kOk;
    const auto size = static_cast<std::size_t>(db.record_size);
    const std::int32_t batch = batch_records(db);
    // Its own buffer: a condition may itself run a scan.
    std::vector<std::uint8_t> records(size * static_cast<std::size_t>(std::min(batch, count - start)));
    const bool scrambled = db.data.is_scrambled();
    const auto scrambled_at = [&](std::int32_t r) { return scrambled ? db.record_position(r) : -1; };
    std::int32_t code = kOk;
    for (std::int32_t first = start; first < count; first += batch) {
        const std::int32_t n = std::min(batch, count - first);
        RunLockGuard run(db.locks, db.data.file());
        if (run.acquire(db.record_position(first), db.record_position(first + n - 1)) != kOk) {
            for (std::int32_t r = first; r < first + n; ++r) {
                ByteLockGuard lock(db.locks, db.data.file());
                if ((code = lock.acquire(db.record_position(r))) != kOk) return code;
                std::size_t got = 0;
                code = io_code(db.data.read_scrambled_at(db.record_position(r), records.data(), size, &got));
                if (code != kOk) return code;
                if (got < size) return kReadRecordFailed;
                if (visit(r, records.data(), scrambled_at(r))) {
                    *stopped = true;
                    return kOk;
                }
            }
            continue;
        }
        std::size_t got = 0;
        code = io_code(db.data.read_scrambled_at(db.record_position(first), records.data(),
                                                 size * static_cast<std::size_t>(n), &got));
        if (code != kOk) return code;
        // A short read still shows the whole records ahead of the missing one.
        const auto whole = static_cast<std::int32_t>(got / size);
        for (std::int32_t i = 0; i < whole; ++i) {
            if (visit(first + i, records.data() + size * static_cast<std::size_t>(i), scrambled_at(first + i))) {
                *stopped = true;
                return kOk;
            }
        }
        if (whole < n) return kReadRecordFailed;
    }
    return kOk;
}

std::int32_t scan_all(DataFile& db, const std::function<bool(const RecordView&)>& visit) {
    ByteLockGuard header(db.locks, db.data.file());
    std::int32_t code = header.acquire(kCountOffset);
    if (code != kOk) return code;
    std::uint8_t count_bytes[4];
    if ((code = read_exact(db, kCountOffset, count_bytes, 4, kRecordCountFailed)) != kOk) return code;
    bool stopped = false;
    return walk_records(db, 0, get32(count_bytes), &stopped,
                        [&](std::int32_t r, const std::uint8_t* record, std::int64_t scrambled_at) {
                            return !visit(RecordView(db, record, scrambled_at, r));
                        });
}

std::int32_t append_values(DataFile& db, const std::vector<Value>& values, std::int32_t* number) {
    std::vector<std::optional<Value>> given(values.begin(), values.end());
    std::vector<std::optional<Value>> coerced;
    std::int32_t code = coerce_all(db, given, &coerced);
    if (code != kOk) return code;

    ByteLockGuard header(db.locks, db.data.file());
    if ((code = header.acquire(kCountOffset)) != kOk) return code;
    std::uint8_t counters[8];
    if ((code = read_exact(db, kCountOffset, counters, 8, kRecordCountFailed)) != kOk) return code;
    const std::int32_t count = std::max(get32(counters), 0);
    const std::int32_t serial = std::max(get32(counters + 4), 1);
    if (count == INT32_MAX || serial == INT32_MAX) return kWriteRecordFailed;
    const std::int64_t position = db.record_position(count);
    ByteLockGuard record_lock(db.locks, db.data.file());
    if ((code = record_lock.acquire(position)) != kOk) return code;

    std::vector<std::uint8_t>& record = db.record_buffer;
    std::fill(record.begin(), record.end(), 0);
    bool aux_written = false;
    code = apply_values(db, coerced, record.data(), &aux_written);
    if (code != kOk) {
        if (aux_written) db.sync(true);
        return code;
    }
    put32(record.data(), serial);
    if ((code = io_code(db.data.write_at(position, record.data(), record.size()))) != kOk) return code;
    put32(counters, count + 1);
    put32(counters + 4, serial + 1);
    if ((code = io_code(db.data.write_at(kCountOffset, counters, 8))) != kOk) return code;
    *number = count;
    return db.sync(aux_written);
}

std::int32_t modify_values(DataFile& db, std::int32_t number, const std::vector<std::optional<Value>>& values) {
    std::vector<std::optional<Value>> coerced;
    std::int32_t code = coerce_all(db, values, &coerced);
    if (code != kOk) return code;
    if (number < 0) return kNoCurrentRecord;
    const std::int64_t position = db.record_position(number);
    ByteLockGuard lock(db.locks, db.data.file());
    std::int64_t length = 0;
    if ((code = lock.acquire(position)) != kOk || (code = record_file_length(db, &length)) != kOk) return code;
    if (position >= length) return kNoCurrentRecord;
    std::vector<std::uint8_t>& record = db.record_buffer;
    if ((code = read_exact(db, position, record.data(), record.size(), kReadRecordFailed)) != kOk) return code;
    bool aux_written = false;
    code = apply_values(db, coerced, record.data(), &aux_written);
    if (code == kOk) code = io_code(db.data.write_at(position + 4, record.data() + 4, record.size() - 4));
    const std::int32_t synced = db.sync(aux_written);
    return code != kOk ? code : synced;
}

std::int32_t RecordView::serial() const {
    std::uint8_t bytes[4];
    std::memcpy(bytes, bytes_, 4);
    if (scrambled_at_ >= 0) db_.data.unscramble(scrambled_at_, bytes, 4);
    return get32(bytes);
}

std::size_t RecordView::field_count() const { return db_.fields.size(); }

Value RecordView::field(int number) const {
    if (number < 1 || static_cast<std::size_t>(number) > db_.fields.size()) raise_runtime_error("指定字段不存在");
    const FieldDescriptor& field = db_.fields[static_cast<std::size_t>(number - 1)];
    Value value = empty_value(field.type);
    if (decode_field(db_, field, plain_field(db_, bytes_, scrambled_at_, field), &value) != kOk) {
        value = empty_value(field.type);
    }
    return value;
}

bool RecordView::text(int number, std::string* out) const {
    if (number < 1 || static_cast<std::size_t>(number) > db_.fields.size()) raise_runtime_error("指定字段不存在");
    const FieldDescriptor& field = db_.fields[static_cast<std::size_t>(number - 1)];
    if (field.type == FieldType::kMemo) {
        Value value;
        const bool read = decode_field(db_, field, plain_field(db_, bytes_, scrambled_at_, field), &value) == kOk;
        if (read) *out = std::move(std::get<std::string>(value));
        return read;
    }
    if (field.type != FieldType::kText) return false;
    // Unscrambled in place in the caller's string, which keeps its storage from record to record.
    const auto width = static_cast<std::size_t>(field.width);
    out->resize(width);
    auto* bytes = reinterpret_cast<std::uint8_t*>(out->data());
    std::memcpy(bytes, bytes_ + field.offset, width);
    if (scrambled_at_ >= 0) db_.data.unscramble(scrambled_at_ + field.offset, bytes, width);
    const void* nul = std::memchr(bytes, 0, width);
    if (nul != nullptr) out->resize(static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes));
    return true;
}

// Drops the records marked deleted by writing the kept ones into a new file that replaces
// the old one whole (see file_replacement.h); the records ahead of the first batch with a
// dropped record go over as they are. The chains of the dropped records are released only
// once the new file is in place: a crash before that leaves unused blocks behind, never a
// chain that the free-block list holds while a record in the store still names it.
std::int32_t purge_deleted(DataFile& db) {
    SoleAccess sole(db);
    std::int32_t code = sole.acquire();
    std::int32_t count = 0, next_serial = 0;
    if (code != kOk || (code = read_counters(db, &count, &next_serial)) != kOk) return code;
    const std::int32_t batch = batch_records(db);
    const auto size = static_cast<std::size_t>(db.record_size);
    std::vector<std::uint8_t> records(static_cast<std::size_t>(std::min(batch, std::max(count, 1))) * size);
    std::unique_ptr<FileReplacement> copy;  // made at the first batch with a dropped record
    std::vector<std::int32_t> dropped_chains;
    std::int32_t kept_total = 0;
    for (std::int32_t start = 0; start < count && code == kOk; start += batch) {
        const std::int32_t n = std::min(batch, count - start);
        const std::int64_t position = db.record_position(start);
        std::size_t got = 0;
        if ((code = io_code(db.data.read_scrambled_at(position, records.data(), size * static_cast<std::size_t>(n),
                                                       &got))) != kOk) {
            break;
        }
        if (got < size * static_cast<std::size_t>(n)) {
            code = kReadRecordFailed;
            break;
        }
        bool drops = false;
        for (std::int32_t i = 0; i < n && !drops; ++i) {
            std::uint8_t serial[4];
            std::memcpy(serial, records.data() + size * static_cast<std::size_t>(i), 4);
            db.data.unscramble(db.record_position(start + i), serial, 4);
            drops = get32(serial) < 0;
        }
        if (!copy && !drops) {
            kept_total += n;
            continue;
        }
        if (!copy) {
            if (db.read_only) {
                code = code_for_file_error(platform::FileError::kAccessDenied);
                break;
            }
            copy = std::make_unique<FileReplacement>(db.full_path, db.data.key());
            if ((code = copy->create()) != kOk || (code = copy_range(db.data, *copy, 0, position)) != kOk) break;
        }
        db.data.unscramble(position, records.data(), size * static_cast<std::size_t>(n));
        std::int32_t kept = 0;
        for (std::int32_t i = 0; i < n; ++i) {
            std::uint8_t* record = records.data() + size * static_cast<std::size_t>(i);
            if (get32(record) >= 0) {
                if (kept != i) std::memmove(records.data() + size * static_cast<std::size_t>(kept), record, size);
                ++kept;
                continue;
            }
            for (const FieldDescriptor& field : db.fields) {
                const std::int32_t first = is_chain_type(field.type) ? get32(record + field.offset) : 0;
                if (first != 0) dropped_chains.push_back(first);
            }
        }
        if (kept > 0) {
            code = copy->write_at(db.record_position(kept_total), records.data(), size * static_cast<std::size_t>(kept));
        }
        kept_total += kept;
    }
    if (!copy || (code != kOk && !copy->is_in_place())) return code;
    std::uint8_t bytes[4];
    put32(bytes, kept_total);
    if (code == kOk) code = copy->write_at(kCountOffset, bytes, 4);
    if (code == kOk) code = copy->sync();
    if (code == kOk) code = copy->rename_to(db.full_path);
    if (!copy->is_in_place()) return code;
    adopt_data_file(db, *copy);
    std::int32_t chain_code = kOk;
    for (const std::int32_t first : dropped_chains) {
        const std::int32_t released = db.aux ? db.aux->release_chain(first) : kAuxAccessFailed;
        if (released != kOk) chain_code = released;
    }
    if (!dropped_chains.empty() && db.aux) {
        const std::int32_t synced = db.sync(true);
        if (chain_code == kOk) chain_code = synced;
    }
    return code != kOk ? code : chain_code;
}

std::int32_t change_password(DataFile& db, const std::string& new_password) {
    if (new_password == "?") return kBadPasswordText;
    const std::shared_ptr<ScrambleKey> key = ScrambleKey::for_password(new_password);
    std::uint8_t digest_area[36] = {};
    if (key) std::memcpy(digest_area, key->digest().data(), 32);
    const char* magic = key ? "WCDB" : "WEDB";
    std::int32_t code = kOk;
    if (db.data.is_keyed_with(key.get())) {
        // The same scrambling: the header's password fields get the bytes they hold already.
        DatabaseLockGuard database_lock(db.locks, db.data.file());
        if ((code = database_lock.acquire()) != kOk ||
            (code = io_code(db.data.write_at(0, magic, 4))) != kOk ||
            (code = io_code(db.data.write_at(28, digest_area, sizeof digest_area))) != kOk) {
            return code;
        }
        return db.sync();
    }
    if (db.read_only) return kRekeyFailed;
    SoleAccess sole(db);
    if ((code = sole.acquire()) != kOk) return code;
    code = replace_under_key(db, key, magic, digest_area);
    if (db.data.is_keyed_with(key.get())) {
        std::memcpy(db.header.data(), magic, 4);
        std::memcpy(db.header.data() + 28, digest_area, sizeof digest_area);
    }
    return code == kOk ? kOk : kRekeyFailed;
}

}  // namespace quillet::db
