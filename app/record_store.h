// The credential records in data.edb. The store is not kept open: every operation
// opens the file in the program directory with the session password as a handle of its
// own, checks its layout (database_check.h), does its work and closes it again.
//
// Thread-safe: operations on the store coordinate through the engine's byte locks.
// lock_store() only keeps data.edb in place: an operation holds it while its handle is
// open, and whoever replaces the file as a whole (the FTP transfer, a merge) holds it
// while it reads or replaces the file, so that no write goes to a file just replaced.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/database_handle.h"

namespace quillet::app {

// A record as stored: the password is the text cipher's output.
struct Record {
    std::int32_t id = 0;
    std::string platform;
    std::string account;
    std::string password_cipher;
    std::string address;
    std::string remark;
};

// What the record window edits: the password in clear.
struct RecordText {
    std::string platform;
    std::string account;
    std::string password;
    std::string address;
    std::string remark;
};

// Every text field holds 255 bytes; an enciphered password takes 2n + 9 of them.
inline constexpr int kTextFieldWidth = 255;
inline constexpr int kMaxPasswordBytes = (kTextFieldWidth - 9) / 2;

// The credential table's fields in order: the integer ID, then the five texts.
const std::vector<db::FieldSpec>& credential_fields();

// A value that would not fit its field: the field's name and its limit in bytes.
struct FieldLimit {
    std::string field;
    int max_bytes = 0;
};
std::optional<FieldLimit> overlong_field(const RecordText& text);

enum class SearchField { kPlatform, kAddress };

enum class WriteResult {
    kDone,
    kFailed,        // the store did not open or the engine refused the write
    kNotFound,      // modify or delete: no record carries the ID
    kTooLong,       // a value does not fit its field (see overlong_field); nothing written
    kNoFreeId,      // add: the largest ID in the store is already the largest an ID can be
    kForeignStore,  // the store opens but is laid out otherwise than the credential table; nothing written
};

// Every record in store order; empty when the store does not open.
std::vector<Record> list_records(std::string_view session_password);
// Records whose field contains `query` byte for byte, letter case significant. An empty
// query or an empty field never matches.
std::vector<Record> filter_records(std::string_view session_password, SearchField field, std::string_view query);
// The new record gets the largest ID in the store plus one, so IDs stay unique after
// deletions. Refused with kNoFreeId once that would pass the largest 32-bit ID.
WriteResult add_record(std::string_view session_password, const RecordText& text);
// Adds every record in order, in one opening of the store, with IDs as add_record gives
// them. Nothing is written when any value does not fit its field. `*ids` receives the IDs
// of the records appended, also those before a failure.
WriteResult add_records(std::string_view session_password, const std::vector<RecordText>& texts,
                        std::vector<std::int32_t>* ids);
// Rewrites the first record carrying `id`, the password freshly enciphered.
WriteResult modify_record(std::string_view session_password, std::int32_t id, const RecordText& text);
// Deletes the first record carrying `id` and purges it from the file at once.
WriteResult delete_record(std::string_view session_password, std::int32_t id);

// Another file of the same layout (the server's copy, the sync base).
// Every record of the file at `path` opened with `password`; nothing when it does not open.
std::optional<std::vector<Record>> read_store_file(const std::string& path, std::string_view password);
// Makes `path` a store of exactly `records` locked with `password`: built in a private
// file beside it, then renamed over it, so a crash leaves the old file or the new, whole.
bool write_store_file(const std::string& path, std::string_view password, const std::vector<Record>& records);

// An ID as the list shows it: leading decimal digits, 0 when there are none.
std::int32_t parse_id(std::string_view text);

// Keeps every store operation out while held. Hold it only for the file work itself
// (reading or replacing data.edb), never across a network transfer: window commands
// wait for it.
std::unique_lock<std::mutex> lock_store();

}  // namespace quillet::app
