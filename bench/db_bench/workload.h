// The work both sides of db_bench do: the same credential records, the same steps.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quillet::bench {

// One credential record: the ID and the five texts (GBK), of the lengths a real store holds.
struct Credential {
    std::int32_t id = 0;
    std::array<std::string, 5> texts;
};

inline Credential credential(std::int32_t id) {
    const std::string n = std::to_string(id);
    // The password field holds cipher text: 2n + 9 hexadecimal digits for a 16-byte password.
    std::string cipher;
    for (int i = 0; i < 41; ++i) cipher += "0123456789abcdef"[(id * 7 + i * 13) % 16];
    return {id,
            {"平台 " + n, "account" + n + "@example.com", cipher, "https://www.example.com/login/" + n,
             "备注：第 " + n + " 条记录"}};
}

inline constexpr int kFinds = 20;
inline constexpr int kDeletes = 10;

// The IDs that the find and delete steps look for: spread over the file, ending near its end.
inline std::int32_t find_target(int i, std::int32_t records) { return records - (i * records) / (2 * kFinds); }
inline std::int32_t delete_target(int i, std::int32_t records) { return records / 2 + i * (records / (4 * kDeletes)); }

// The engine's side, on a scrambled credential file, with the record store's sequences
// of commands. Each step returns its seconds.
class EngineSide {
  public:
    EngineSide(const std::string& directory, std::int32_t records);
    double append_all();  // one durable append command per record
    // List all: open, first record, count, per record the six fields, skip, close.
    double list_by_name();    // read_field of each field by name, as the record store does
    double list_by_record();  // one read_record per record
    double list_by_scan();    // one scan_records, as the record store lists
    double list_exclusive();  // read_record on an exclusive open, where no byte lock is taken
    double find();            // one find, averaged; the database is open
    double find_exclusive();  // the same on an exclusive open
    double delete_one();      // find by ID, delete, purge; averaged
    double set_password();    // a new access password over the whole file

  private:
    std::string file_;
    std::int32_t records_;
};

// SQLite's side: one table of an integer and five texts, default durability
// (rollback journal, synchronous FULL), each statement its own transaction.
class SqliteSide {
  public:
    SqliteSide(const std::string& directory, std::int32_t records);
    ~SqliteSide();
    double append_all();  // one autocommit INSERT per record
    double list();        // open, SELECT all, close
    double find();        // SELECT by the non-indexed ID, averaged
    double delete_one();  // DELETE by the non-indexed ID, averaged

  private:
    std::string file_;
    std::int32_t records_;
    struct sqlite3* db_ = nullptr;
};

}  // namespace quillet::bench
