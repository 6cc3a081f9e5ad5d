#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/db_bench/stopwatch.h"
#include "bench/db_bench/workload.h"

namespace quillet::bench {
namespace {

void require(sqlite3* db, int rc, const char* what) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
    std::fprintf(stderr, "db_bench: sqlite %s failed: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
}

// A prepared statement, finalised when it goes.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { require(db, sqlite3_prepare_v2(db, sql, -1, &s_, nullptr), sql); }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return s_; }

  private:
    sqlite3_stmt* s_ = nullptr;
};

sqlite3* open_store(const std::string& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) require(db, SQLITE_ERROR, "open");
    return db;
}

std::string column_text(sqlite3_stmt* s, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text != nullptr ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(s, column)))
                           : std::string();
}

}  // namespace

SqliteSide::SqliteSide(const std::string& directory, std::int32_t records)
    : file_(directory + "/data.sqlite"), records_(records), db_(open_store(file_)) {
    require(db_,
            sqlite3_exec(db_,
                         "CREATE TABLE credential(id INTEGER, platform TEXT, account TEXT, password TEXT, "
                         "url TEXT, remark TEXT)",
                         nullptr, nullptr, nullptr),
            "create");
}

SqliteSide::~SqliteSide() { sqlite3_close(db_); }

double SqliteSide::append_all() {
    Statement insert(db_, "INSERT INTO credential VALUES(?, ?, ?, ?, ?, ?)");
    Stopwatch watch;
    for (std::int32_t id = 1; id <= records_; ++id) {
        const Credential c = credential(id);
        sqlite3_bind_int(insert.get(), 1, id);
        for (int i = 0; i < 5; ++i) {
            sqlite3_bind_text(insert.get(), i + 2, c.texts[static_cast<std::size_t>(i)].c_str(), -1, SQLITE_TRANSIENT);
        }
        require(db_, sqlite3_step(insert.get()), "insert");
        sqlite3_reset(insert.get());
    }
    return watch.seconds();
}

double SqliteSide::list() {
    Stopwatch watch;
    sqlite3* db = open_store(file_);
    std::int64_t listed = 0;
    {
        Statement select(db, "SELECT id, platform, account, password, url, remark FROM credential");
        while (sqlite3_step(select.get()) == SQLITE_ROW) {
            const std::int32_t id = sqlite3_column_int(select.get(), 0);
            std::string texts[5];
            for (int i = 0; i < 5; ++i) texts[i] = column_text(select.get(), i + 1);
            listed += id > 0 && !texts[0].empty() ? 1 : 0;
        }
    }
    sqlite3_close(db);
    const double seconds = watch.seconds();
    if (listed != records_) {
        std::fprintf(stderr, "db_bench: sqlite listed %lld of %d records\n", static_cast<long long>(listed), records_);
        std::exit(1);
    }
    return seconds;
}

double SqliteSide::find() {
    Statement find(db_, "SELECT id, platform, account, password, url, remark FROM credential WHERE id = ? LIMIT 1");
    Stopwatch watch;
    for (int i = 0; i < kFinds; ++i) {
        sqlite3_bind_int(find.get(), 1, find_target(i, records_));
        require(db_, sqlite3_step(find.get()) == SQLITE_ROW ? SQLITE_OK : SQLITE_ERROR, "find");
        sqlite3_reset(find.get());
    }
    return watch.seconds() / kFinds;
}

double SqliteSide::delete_one() {
    Statement erase(db_, "DELETE FROM credential WHERE id = ?");
    Stopwatch watch;
    for (int i = 0; i < kDeletes; ++i) {
        sqlite3_bind_int(erase.get(), 1, delete_target(i, records_));
        require(db_, sqlite3_step(erase.get()), "delete");
        sqlite3_reset(erase.get());
    }
    return watch.seconds() / kDeletes;
}

}  // namespace quillet::bench
