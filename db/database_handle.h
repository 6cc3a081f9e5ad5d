// A handle on one open data file: the way the program reads and writes a store. The
// handle owns its file handles and byte locks; its destructor closes them. Every
// operation reports a Status whose code is the engine's result code (result_code.h) and
// whose message is that code's text, so a caller can branch on it and show it.
//
// A handle is used by one thread at a time. Handles on the same file, in this process or
// another, coordinate through the file's byte locks only: there is no process-wide state.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"
#include "platform/status.h"

namespace quillet::db {

struct DataFile;

struct AccessOptions {
    bool read_only = false;
    // 1 others may read and write, 2 others may not read, 3 others may not write,
    // anything else exclusive.
    int share_mode = 1;
    // The access password as it is; empty for a file without one. No value asks anyone.
    std::string password;
};

// A field as the file describes it.
struct FieldInfo {
    std::string name;
    FieldType type = FieldType::kText;
    std::int32_t offset = 0;
    std::int32_t width = 0;  // bytes the field takes in the record
};

// One record handed to a scan, valid during the visit only. Its bytes stay in the scan's
// batch as read; a field is decoded, and unscrambled, only when asked for.
class RecordView {
public:
    RecordView(DataFile& db, const std::uint8_t* bytes, std::int64_t scrambled_at, std::int32_t number)
        : db_(db), bytes_(bytes), scrambled_at_(scrambled_at), number_(number) {}

    std::int32_t number() const { return number_; }  // from 0 in file order
    // The serial: negative when the record carries the deletion mark.
    std::int32_t serial() const;
    std::size_t field_count() const;
    // Field by number from 1; a failed read gives the field's empty value. Asking past
    // field_count() is a program error and raises the runtime error report.
    Value field(int number) const;
    // A text or memo field into `*out`, reusing its storage; false for other types or
    // a failed read.
    bool text(int number, std::string* out) const;

private:
    DataFile& db_;
    const std::uint8_t* bytes_;
    std::int64_t scrambled_at_;  // the record's file position while its bytes are scrambled, else -1
    std::int32_t number_;
};

struct FieldSpec {
    std::string name;  // GBK, at most 16 bytes
    FieldType type = FieldType::kText;
    std::int32_t width = 0;  // bytes, for text fields only
};

struct CreateOptions {
    double stamp = 0;  // date-time stamp written into the header; 0 = now
    std::int32_t next_serial = 1;
};

// Creates a data file (and its auxiliary file when a field needs one), replacing an
// existing file whole; one that another handle has open is left alone (-12). A symbolic
// link in either file's place is refused (-4), never written through nor replaced.
// Checks names, types and sizes (codes -16 to -20).
platform::Status create_data_file(const std::string& file_name, const std::vector<FieldSpec>& fields,
                                  const CreateOptions& options = {});

// Drops the scrambling keys kept for reuse between opens, so that nothing derived from a
// password outlives the session that used it.
void forget_cached_keys();

class Database {
public:
    Database();
    ~Database();
    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;

    // Opens `file_name` (".EDB" added when it has no extension) into `*out`, checking its
    // header, fields and password. On failure `*out` is left closed.
    static platform::Status open(const std::string& file_name, const AccessOptions& options, Database* out);

    bool is_open() const { return file_ != nullptr; }
    const std::string& path() const;
    const std::vector<FieldInfo>& fields() const { return fields_; }
    std::int32_t record_size() const;

    platform::Status count(std::int32_t* records);
    // Hands every record from the first, deleted ones included, to `visit` in file order
    // until it returns false. The file is read in batches under one range lock each, the
    // header lock held throughout. Fails with the code of a refused record lock (-13) once
    // the records ahead of the locked one were visited, or of a failed read.
    platform::Status scan(const std::function<bool(const RecordView&)>& visit);
    // Values for the first fields in field order; the rest stay zero. `*number`, when
    // given, receives the new record's number.
    platform::Status append(const std::vector<Value>& values, std::int32_t* number = nullptr);
    // Values for the first fields of record `number`; an empty optional, or a missing
    // value at the end, leaves that field unchanged.
    platform::Status modify(std::int32_t number, const std::vector<std::optional<Value>>& values);
    // Sets the deletion mark of record `number`; purge() drops the marked records.
    platform::Status mark_deleted(std::int32_t number);
    // Both rewrite the whole file into a new one that replaces it, so that a crash leaves
    // the old store or the new one, each whole. They need the store alone: while any other
    // handle is open on it they fail with the sharing code (-12) and change nothing.
    platform::Status purge();
    platform::Status set_password(const std::string& new_password);
    // Reads every record and every block chain; on a problem, fails and says which.
    platform::Status check();

private:
    friend Database database_of(std::unique_ptr<DataFile> file);
    friend DataFile& data_file_of(Database& db);

    std::unique_ptr<DataFile> file_;
    std::vector<FieldInfo> fields_;
};

// The Status of an engine result code: success for 0, else the code and its message.
platform::Status status_of(std::int32_t code);

}  // namespace quillet::db
