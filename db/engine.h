// What the engine keeps for one open data file, and the command set's process-wide state:
// the open handles and the current one. Every command runs under Engine::mutex, a
// recursive mutex: a condition evaluated by find or delete runs on the commanding thread
// while the mutex is held and may call read_field again, while other threads wait until
// the whole command is over. The last database error is per thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/auxiliary_file.h"
#include "db/byte_locks.h"
#include "db/database.h"
#include "db/database_handle.h"
#include "db/keyed_file.h"
#include "db/little_endian.h"

namespace quillet::db {

inline constexpr std::int64_t kHeaderSize = 112;
inline constexpr std::int64_t kDescriptorSize = 72;
inline constexpr std::int64_t kCountOffset = 16;
inline constexpr std::int32_t kFormatVersion = 0x00010000;

struct FieldDescriptor {
    std::string name;
    FieldType type = FieldType::kText;
    std::int32_t offset = 0;
    std::int32_t width = 0;  // bytes in the record
};

struct DataFile {
    explicit DataFile(int lock_depth) : locks(lock_depth) {}
    ~DataFile() { close_files(); }
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    std::string full_path;
    std::string title;
    std::string alias;  // the command set's name for it
    bool read_only = false;
    platform::Share share = platform::Share::kReadWrite;
    KeyedFile data;
    ByteLocks locks;
    std::array<std::uint8_t, kHeaderSize> header{};
    std::vector<FieldDescriptor> fields;
    std::int64_t data_start = 0;
    std::int32_t record_size = 0;
    std::int32_t current = 0;  // the command set's current record
    std::unique_ptr<AuxiliaryFile> aux;
    // The command set's record under test while a condition runs; read_field reads from
    // it. A scan leaves the bytes scrambled and unscrambles only the fields read: then
    // `scan_scrambled_at` is the record's file position, else -1.
    const std::uint8_t* scan = nullptr;
    std::int64_t scan_scrambled_at = -1;
    std::vector<std::uint8_t> scan_field;  // a field of the scan record, unscrambled
    std::vector<std::uint8_t> record_buffer;

    std::int32_t version() const;
    std::int64_t record_position(std::int32_t record) const {
        return data_start + static_cast<std::int64_t>(record) * record_size;
    }
    // Makes every change so far durable; the auxiliary file too when `aux_too`.
    std::int32_t sync(bool aux_too = false);
    void close_files();
};

struct Engine {
    std::recursive_mutex mutex;
    std::vector<Database> databases;
    int current = -1;
};

Engine& engine();
void set_last_error(std::int32_t code);

// Shows the runtime error report through the fatal-report hook and ends the process.
[[noreturn]] void raise_runtime_error(const std::string& message);
// Asks through the password prompt hook; false when cancelled or no prompt is set.
bool prompt_password(int tries_left, std::string* password);

// Opens and checks a data file; `full_path` is completed. `ask_password` asks through the
// password prompt hook instead of using `options.password`.
std::int32_t open_data_file(const std::string& full_path, const AccessOptions& options, bool ask_password,
                            std::unique_ptr<DataFile>* out);

// The handle that owns `file`, and the file a handle owns.
Database database_of(std::unique_ptr<DataFile> file);
DataFile& data_file_of(Database& db);

}  // namespace quillet::db
