// The engine's work on one open data file, as result codes (result_code.h): what a
// Database handle does, and what the command set does on its current database.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/engine.h"

namespace quillet::db {

std::int32_t io_code(platform::FileError error);
// Reads `length` bytes of the data file exactly; a short read gives `short_code`.
std::int32_t read_exact(DataFile& db, std::int64_t offset, void* buffer, std::size_t length, std::int32_t short_code);
// The record count and next serial, read under the header lock.
std::int32_t read_counters(DataFile& db, std::int32_t* count, std::int32_t* next_serial,
                           std::int32_t minimum_wait_ms = 0);
// The record count, waiting a while for the header lock as a count asked for by a user does.
std::int32_t count_records(DataFile& db, std::int32_t* count);

// A field's value from a record image; chains are read from the auxiliary file.
std::int32_t decode_field(DataFile& db, const FieldDescriptor& field, const std::uint8_t* bytes, Value* out);
const FieldDescriptor* find_field(const DataFile& db, std::string_view name);
// A field's plain bytes from a record in memory whose bytes are still scrambled when
// `scrambled_at` (the record's file position) is not -1.
const std::uint8_t* plain_field(DataFile& db, const std::uint8_t* record, std::int64_t scrambled_at,
                                const FieldDescriptor& field);

// Records in one read of the batches that scans and deletions walk.
std::int32_t batch_records(const DataFile& db);
// Hands records `start` to `count - 1` to `visit(number, bytes, scrambled_at)` until it
// returns true (then *stopped). Batches cost one range lock over their record locks and
// one read, and their bytes stay scrambled (`scrambled_at` is a record's file position,
// -1 on a file without password), so that a condition unscrambles only what it reads.
// `visit` runs while the whole batch is locked. A batch whose range lock is refused is
// walked one record lock at a time instead: the records ahead of the one held elsewhere
// are still visited, and that one's refusal comes after the lock wait with its code.
using RawVisit = std::function<bool(std::int32_t number, const std::uint8_t* bytes, std::int64_t scrambled_at)>;
std::int32_t walk_records(DataFile& db, std::int32_t start, std::int32_t count, bool* stopped, const RawVisit& visit);
// Every record to `visit` until it returns false, under the header lock.
std::int32_t scan_all(DataFile& db, const std::function<bool(const RecordView&)>& visit);

std::int32_t append_values(DataFile& db, const std::vector<Value>& values, std::int32_t* number);
std::int32_t modify_values(DataFile& db, std::int32_t number, const std::vector<std::optional<Value>>& values);
// Rewrites the serial of record `number`: `mark` negates a positive one, otherwise a
// negative one is made positive again.
std::int32_t set_deletion_mark(DataFile& db, std::int32_t number, bool mark);
std::int32_t purge_deleted(DataFile& db);
std::int32_t change_password(DataFile& db, const std::string& new_password);
// Reads every record and every block chain; on a problem, describes the first one found.
std::int32_t check_records(DataFile& db, std::int32_t* records_checked, std::string* problem);

}  // namespace quillet::db
