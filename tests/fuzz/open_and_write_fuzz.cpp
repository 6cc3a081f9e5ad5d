// Changes an arbitrary data file (and auxiliary file) with every writing command.
//
// Input as for open_and_read_fuzz (see fuzz_input.h). The file is opened read-write
// (without a password, else with the seeds' password); each record is read and written
// back, every other one is marked deleted, a record with a value for every field is
// appended, the marked records are purged, a delete and a find by condition run, and the
// access password is set and removed again, with the full check in between. A command
// may fail on a damaged file; none may crash, hang, leak or corrupt memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/database_info.h"
#include "db/hooks.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace quillet;

constexpr std::int32_t kMaxRecordsChanged = 256;

db::Value sample_value(db::FieldType type) {
    switch (type) {
        case db::FieldType::kByte:
            return std::uint8_t{7};
        case db::FieldType::kShort:
            return std::int16_t{-3};
        case db::FieldType::kInt:
            return std::int32_t{42};
        case db::FieldType::kLong:
            return std::int64_t{1} << 40;
        case db::FieldType::kFloat:
            return 1.5f;
        case db::FieldType::kDouble:
            return 2.5;
        case db::FieldType::kBool:
            return true;
        case db::FieldType::kDateTime:
            return db::DateTime{44474.5};
        case db::FieldType::kSubroutine:
            return db::SubroutinePointer{16};
        case db::FieldType::kText:
            return std::string("text");
        case db::FieldType::kBytes:
            return db::ByteSet{std::string(600, '\x5a')};
        case db::FieldType::kMemo:
            return std::string(1100, 'm');
    }
    return std::string();
}

void check() {
    std::int32_t checked = 0;
    std::string problem;
    db::check_current_database(&checked, &problem);
}

void change_current_database() {
    db::DatabaseInfo info;
    if (!db::current_database_info(&info)) return;
    const std::int32_t count = db::record_count();
    db::go_to_first_record();
    std::vector<db::Value> values;
    for (std::int32_t record = 0; record < count && record < kMaxRecordsChanged; ++record) {
        if (db::read_record(&values)) {
            db::modify_current_record(std::vector<std::optional<db::Value>>(values.begin(), values.end()));
        }
        if (record % 2 == 1) db::delete_record();
        if (!db::skip_records(1)) break;
    }
    std::vector<db::Value> sample;
    for (const db::FieldInfo& field : info.fields) sample.push_back(sample_value(field.type));
    db::append_record(sample);
    db::purge_deleted_records();
    check();

    bool toggle = false;
    db::delete_record(db::Condition(std::function<bool()>([&toggle] {
        db::read_field(1);
        return toggle = !toggle;
    })));
    db::go_to_first_record();
    const int last = static_cast<int>(info.fields.size());
    db::find_record(db::Condition(std::function<bool()>([last] {
        db::read_field(last);
        return false;
    })));
    db::purge_deleted_records();

    db::set_access_password("another");
    check();
    db::set_access_password("");
    check();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A fatal report would end the process; the commands here never name a missing field.
    db::set_fatal_report([](const std::string& text) { std::fprintf(stderr, "fatal report: %s\n", text.c_str()); });
    db::set_password_prompt([](int, std::string*) { return false; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::write_input(data, size);
    db::OpenOptions options;
    if (!db::open_database(path, options)) {
        options.password = fuzz::kSeedPassword;
        if (!db::open_database(path, options)) return 0;
    }
    change_current_database();
    db::close_database();
    return 0;
}
