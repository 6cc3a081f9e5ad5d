// The engine's side of db_bench, on a scrambled credential file, with the sequences of
// commands that the record store uses.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/db_bench/stopwatch.h"
#include "bench/db_bench/workload.h"
#include "db/database.h"

namespace quillet::bench {
namespace {

constexpr const char* kPassword = "bench-password";
const char* const kFieldNames[] = {"ID", "平台", "账号", "密码", "网址", "备注"};

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "db_bench: engine %s failed with %d\n", what, db::last_database_error());
    std::exit(1);
}

void open_store(const std::string& file, const std::string& password = kPassword) {
    db::OpenOptions options;
    options.password = password;
    require(db::open_database(file, options), "open");
}

// The record store's ID condition: the record's ID as a double within 1e-7 of the wanted one.
db::Condition id_condition(std::int32_t wanted) {
    return std::function<bool()>([wanted] {
        const db::Value id = db::read_field("ID");
        return std::fabs(static_cast<double>(std::get<std::int32_t>(id)) - wanted) <= 1e-7;
    });
}

}  // namespace

Timings run_engine(const std::string& directory, std::int32_t records) {
    Timings t;
    const std::string file = directory + "/data.edb";
    require(db::create_database(file, {{"ID", db::FieldType::kInt, 0},
                                       {"平台", db::FieldType::kText, 255},
                                       {"账号", db::FieldType::kText, 255},
                                       {"密码", db::FieldType::kText, 255},
                                       {"网址", db::FieldType::kText, 255},
                                       {"备注", db::FieldType::kText, 255}}),
            "create");
    open_store(file, "");
    require(db::set_access_password(kPassword), "set access password");
    db::close_database();

    // Append: one command each, every one made durable by the engine before it returns.
    open_store(file);
    Stopwatch watch;
    for (std::int32_t id = 1; id <= records; ++id) {
        const Credential c = credential(id);
        require(db::append_record({static_cast<double>(id), c.texts[0], c.texts[1], c.texts[2], c.texts[3],
                                   c.texts[4]}),
                "append");
    }
    t.append = watch.seconds();
    db::close_database();

    // List all as the record store does: open, first record, count, six fields by name, skip.
    watch.restart();
    open_store(file);
    db::go_to_first_record();
    for (std::int32_t n = db::record_count(), i = 0; i < n; ++i) {
        std::vector<db::Value> row;
        for (const char* name : kFieldNames) row.push_back(db::read_field(name));
        t.listed += std::get<std::string>(row[1]).empty() ? 0 : 1;
        db::skip_records(1);
    }
    db::close_database();
    t.list_by_name = watch.seconds();

    // The same with one read of the whole record per row.
    watch.restart();
    open_store(file);
    db::go_to_first_record();
    std::vector<db::Value> row;
    for (std::int32_t n = db::record_count(), i = 0; i < n; ++i) {
        require(db::read_record(&row), "read record");
        t.listed += std::get<std::string>(row[1]).empty() ? 0 : 1;
        db::skip_records(1);
    }
    db::close_database();
    t.list_by_record = watch.seconds();

    open_store(file);
    watch.restart();
    for (int i = 0; i < kFinds; ++i) {
        db::go_to_first_record();
        require(db::find_record(id_condition(find_target(i, records))), "find");
    }
    t.find = watch.seconds() / kFinds;

    // Delete as the record store does: find by ID from the first record, mark, purge.
    watch.restart();
    for (int i = 0; i < kDeletes; ++i) {
        db::go_to_first_record();
        require(db::find_record(id_condition(delete_target(i, records))), "find for delete");
        require(db::delete_record(), "delete");
        require(db::purge_deleted_records(), "purge");
    }
    t.delete_one = watch.seconds() / kDeletes;

    watch.restart();
    require(db::set_access_password("another password"), "set access password");
    t.set_password = watch.seconds();
    db::close_database();
    return t;
}

}  // namespace quillet::bench
