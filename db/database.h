// The database commands, for the tools, benchmarks and tests that work the way they do:
// a process-wide list of open databases (Database handles, database_handle.h) with one
// current database, a current record per database, and a result code per thread (see
// result_code.h). Every command clears the calling thread's last database error first
// and returns true exactly when its work ended with code 0. The program itself uses
// handles.
//
// The open-database list is guarded by a mutex, so commands may be called from several
// threads; a caller that needs a sequence of commands to see one database undisturbed
// must serialise that sequence itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/database_handle.h"
#include "db/value.h"

namespace quillet::db {

struct OpenOptions {
    std::string alias;
    bool read_only = false;
    // 1 others may read and write, 2 others may not read, 3 others may not write,
    // anything else exclusive.
    int share_mode = 1;
    // Empty: none.
    std::string password;
    // Ask through the password prompt hook, up to three tries, instead of using `password`.
    bool ask_password = false;
    std::vector<std::string> index_files;
};

// A numeric field, by name, whose value as an integer (fractions cut off) is `value`.
// The engine tests it on the record's bytes as it walks them, without a read_field
// command per record: the way to find a record by its ID.
struct FieldIs {
    std::string field;
    std::int64_t value = 0;
};

// A fixed logical value, a test evaluated once per record under test (while it runs,
// read_field reads from that record), or a field test. A field test naming no field
// raises the runtime error report, as read_field does.
using Condition = std::variant<bool, std::function<bool()>, FieldIs>;

bool open_database(const std::string& file_name, const OpenOptions& options = {});
// By alias, title or full path; empty = the current database. Unknown names are no error.
void close_database(const std::string& name = {});

std::int32_t record_count();
void go_to_first_record();
bool skip_records(std::int32_t count = 1);

// Values for the first fields in field order; the rest stay zero.
bool append_record(const std::vector<Value>& values);
// Values for the first fields in field order; an empty optional, or a missing value at
// the end, leaves that field unchanged.
bool modify_current_record(const std::vector<std::optional<Value>>& values);

// Field by name (case ignored) or by number from 1. A missing current database or
// field raises the runtime error report.
Value read_field(std::string_view name);
Value read_field(int number);
// Reads every field of the current record under one record lock.
bool read_record(std::vector<Value>* values);

bool find_record(const Condition& condition);

// Hands every record from the first, deleted ones included, to `visit` in file order until
// it returns false; the current record does not move. The file is read in batches under
// one range lock each, the header lock held throughout, the engine mutex held by the
// whole scan. Fails with the code of a refused record lock (-13) once the records ahead
// of the locked one were visited, or of a failed read.
bool scan_records(const std::function<bool(const RecordView&)>& visit);
bool delete_record();
bool delete_record(const Condition& condition);
bool undelete_record();
// Both rewrite the whole data file into a new file that replaces it, so that a crash
// leaves the old store or the new one, each whole. They need the store alone: while any
// other handle is open on it, of this process or another, they fail with the sharing
// code (-12) and change nothing.
bool purge_deleted_records();
bool set_access_password(const std::string& new_password);

// create_data_file (database_handle.h) as a command.
bool create_database(const std::string& file_name, const std::vector<FieldSpec>& fields,
                     const CreateOptions& options = {});

std::int32_t last_database_error();
// Process-wide lock wait time in milliseconds (0 = no retry).
void set_lock_wait_time(std::int32_t ms);

}  // namespace quillet::db
