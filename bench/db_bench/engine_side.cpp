#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/db_bench/stopwatch.h"
#include "bench/db_bench/workload.h"
#include "db/database.h"

namespace quillet::bench {
namespace {

constexpr const char* kPassword = "bench-password";
constexpr int kExclusive = 4;
const char* const kFieldNames[] = {"ID", "平台", "账号", "密码", "网址", "备注"};

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "db_bench: engine %s failed with %d\n", what, db::last_database_error());
    std::exit(1);
}

void open_store(const std::string& file, int share_mode = 1, const std::string& password = kPassword) {
    db::OpenOptions options;
    options.password = password;
    options.share_mode = share_mode;
    require(db::open_database(file, options), "open");
}

// The record store's ID condition: a field test the engine makes on the record's bytes.
db::Condition id_condition(std::int32_t wanted) { return db::FieldIs{"ID", wanted}; }

void require_listed(std::int64_t listed, std::int32_t records) {
    if (listed != records) {
        std::fprintf(stderr, "db_bench: engine listed %lld of %d records\n", static_cast<long long>(listed), records);
        std::exit(1);
    }
}

double list_with_records(const std::string& file, std::int32_t records, int share_mode) {
    Stopwatch watch;
    open_store(file, share_mode);
    db::go_to_first_record();
    std::vector<db::Value> row;
    std::int64_t listed = 0;
    for (std::int32_t n = db::record_count(), i = 0; i < n; ++i) {
        require(db::read_record(&row), "read record");
        listed += std::get<std::string>(row[1]).empty() ? 0 : 1;
        db::skip_records(1);
    }
    db::close_database();
    const double seconds = watch.seconds();
    require_listed(listed, records);
    return seconds;
}

double timed_finds(const std::string& file, std::int32_t records, int share_mode) {
    open_store(file, share_mode);
    Stopwatch watch;
    for (int i = 0; i < kFinds; ++i) {
        db::go_to_first_record();
        require(db::find_record(id_condition(find_target(i, records))), "find");
    }
    const double seconds = watch.seconds() / kFinds;
    db::close_database();
    return seconds;
}

}  // namespace

EngineSide::EngineSide(const std::string& directory, std::int32_t records)
    : file_(directory + "/data.edb"), records_(records) {
    require(db::create_database(file_, {{"ID", db::FieldType::kInt, 0},
                                        {"平台", db::FieldType::kText, 255},
                                        {"账号", db::FieldType::kText, 255},
                                        {"密码", db::FieldType::kText, 255},
                                        {"网址", db::FieldType::kText, 255},
                                        {"备注", db::FieldType::kText, 255}}),
            "create");
    open_store(file_, 1, "");
    require(db::set_access_password(kPassword), "set access password");
    db::close_database();
}

double EngineSide::append_all() {
    open_store(file_);
    Stopwatch watch;
    for (std::int32_t id = 1; id <= records_; ++id) {
        const Credential c = credential(id);
        // The record store hands the new ID over as a double.
        require(
            db::append_record({static_cast<double>(id), c.texts[0], c.texts[1], c.texts[2], c.texts[3], c.texts[4]}),
            "append");
    }
    const double seconds = watch.seconds();
    db::close_database();
    return seconds;
}

double EngineSide::list_by_name() {
    Stopwatch watch;
    open_store(file_);
    db::go_to_first_record();
    std::int64_t listed = 0;
    std::vector<db::Value> row;
    for (std::int32_t n = db::record_count(), i = 0; i < n; ++i) {
        row.clear();
        for (const char* name : kFieldNames) row.push_back(db::read_field(name));
        listed += std::get<std::string>(row[1]).empty() ? 0 : 1;
        db::skip_records(1);
    }
    db::close_database();
    const double seconds = watch.seconds();
    require_listed(listed, records_);
    return seconds;
}

// List all as the record store does it: one scan, the ID and five texts of each record.
double EngineSide::list_by_scan() {
    Stopwatch watch;
    open_store(file_);
    std::vector<std::array<std::string, 5>> rows;
    rows.reserve(static_cast<std::size_t>(std::max(0, db::record_count())));
    std::int64_t listed = 0;
    require(db::scan_records([&](const db::RecordView& view) {
                listed += std::get<std::int32_t>(view.field(1)) > 0 ? 1 : 0;
                std::array<std::string, 5>& row = rows.emplace_back();
                for (int field = 2; field <= 6; ++field) view.text(field, &row[static_cast<std::size_t>(field - 2)]);
                return true;
            }),
            "scan");
    db::close_database();
    const double seconds = watch.seconds();
    require_listed(listed, records_);
    return seconds;
}

double EngineSide::list_by_record() { return list_with_records(file_, records_, 1); }
double EngineSide::list_exclusive() { return list_with_records(file_, records_, kExclusive); }
double EngineSide::find() { return timed_finds(file_, records_, 1); }
double EngineSide::find_exclusive() { return timed_finds(file_, records_, kExclusive); }

double EngineSide::delete_one() {
    open_store(file_);
    Stopwatch watch;
    for (int i = 0; i < kDeletes; ++i) {
        db::go_to_first_record();
        require(db::find_record(id_condition(delete_target(i, records_))), "find for delete");
        require(db::delete_record(), "delete");
        require(db::purge_deleted_records(), "purge");
    }
    const double seconds = watch.seconds() / kDeletes;
    db::close_database();
    return seconds;
}

double EngineSide::set_password() {
    open_store(file_);
    Stopwatch watch;
    require(db::set_access_password("another password"), "set access password");
    const double seconds = watch.seconds();
    db::close_database();
    return seconds;
}

}  // namespace quillet::bench
