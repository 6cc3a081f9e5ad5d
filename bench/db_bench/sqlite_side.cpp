// SQLite's side of db_bench: one table of an integer and five texts, default durability
// (rollback journal, synchronous FULL), each statement in its own transaction.
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
    Statement(sqlite3* db, const char* sql) : db_(db) { require(db, sqlite3_prepare_v2(db, sql, -1, &s_, nullptr), sql); }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return s_; }

private:
    sqlite3* db_;
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

Timings run_sqlite(const std::string& directory, std::int32_t records) {
    Timings t;
    const std::string file = directory + "/data.sqlite";
    sqlite3* db = open_store(file);
    require(db,
            sqlite3_exec(db,
                         "CREATE TABLE credential(id INTEGER, platform TEXT, account TEXT, password TEXT, "
                         "url TEXT, remark TEXT)",
                         nullptr, nullptr, nullptr),
            "create");
    {
        Statement insert(db, "INSERT INTO credential VALUES(?, ?, ?, ?, ?, ?)");
        const Stopwatch watch;
        for (std::int32_t id = 1; id <= records; ++id) {
            const Credential c = credential(id);
            sqlite3_bind_int(insert.get(), 1, id);
            for (int i = 0; i < 5; ++i) {
                sqlite3_bind_text(insert.get(), i + 2, c.texts[static_cast<std::size_t>(i)].c_str(), -1,
                                  SQLITE_TRANSIENT);
            }
            require(db, sqlite3_step(insert.get()), "insert");
            sqlite3_reset(insert.get());
        }
        t.append = watch.seconds();
    }
    sqlite3_close(db);

    Stopwatch watch;
    db = open_store(file);
    {
        Statement select(db, "SELECT id, platform, account, password, url, remark FROM credential");
        while (sqlite3_step(select.get()) == SQLITE_ROW) {
            const std::int32_t id = sqlite3_column_int(select.get(), 0);
            std::string texts[5];
            for (int i = 0; i < 5; ++i) texts[i] = column_text(select.get(), i + 1);
            t.listed += id > 0 && !texts[0].empty() ? 1 : 0;
        }
    }
    sqlite3_close(db);
    t.list_by_name = watch.seconds();

    db = open_store(file);
    {
        Statement find(db, "SELECT id, platform, account, password, url, remark FROM credential WHERE id = ? LIMIT 1");
        watch.restart();
        for (int i = 0; i < kFinds; ++i) {
            sqlite3_bind_int(find.get(), 1, find_target(i, records));
            require(db, sqlite3_step(find.get()) == SQLITE_ROW ? SQLITE_OK : SQLITE_ERROR, "find");
            sqlite3_reset(find.get());
        }
        t.find = watch.seconds() / kFinds;

        Statement erase(db, "DELETE FROM credential WHERE id = ?");
        watch.restart();
        for (int i = 0; i < kDeletes; ++i) {
            sqlite3_bind_int(erase.get(), 1, delete_target(i, records));
            require(db, sqlite3_step(erase.get()), "delete");
            sqlite3_reset(erase.get());
        }
        t.delete_one = watch.seconds() / kDeletes;
    }
    sqlite3_close(db);
    return t;
}

}  // namespace quillet::bench
