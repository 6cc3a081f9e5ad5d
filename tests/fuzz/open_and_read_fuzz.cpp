// Opens an arbitrary data file (and auxiliary file) and reads everything in it.
//
// Input: a data file, and optionally its auxiliary file (see fuzz_input.h). Each input is
// opened twice: read-only without a password, and
// read-write with the password the scrambled seeds were made with (a read-write open
// also reconciles the length and writes it back). Every open that succeeds is walked:
// the header, every record with read_record and read_field of every field, and the
// full check. Nothing here may crash, hang or leak, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/database_info.h"
#include "db/hooks.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace quillet;

constexpr std::int32_t kMaxRecordsWalked = 4096;

void walk_current_database() {
    db::DatabaseInfo info;
    if (!db::current_database_info(&info)) return;
    const std::int32_t count = db::record_count();
    db::go_to_first_record();
    std::vector<db::Value> values;
    for (std::int32_t record = 0; record < count && record < kMaxRecordsWalked; ++record) {
        std::int32_t serial = 0;
        db::current_record_serial(&serial);
        db::read_record(&values);
        for (std::size_t field = 1; field <= info.fields.size(); ++field) db::read_field(static_cast<int>(field));
        if (!db::skip_records(1)) break;
    }
    // The batched scans over the same records: every field through a scan, and a find
    // whose condition reads every field of the record under test.
    std::string text;
    std::int32_t scanned = 0;
    db::scan_records([&](const db::RecordView& view) {
        for (int field = 1; field <= static_cast<int>(view.field_count()); ++field) {
            view.field(field);
            view.text(field, &text);
        }
        return ++scanned < kMaxRecordsWalked;
    });
    db::go_to_first_record();
    std::int32_t tested = 0;
    db::find_record(std::function<bool()>([&] {
        db::read_record(&values);
        return ++tested >= kMaxRecordsWalked;
    }));
    // A walk backwards from past the end, as skip allows.
    db::skip_records(-1);
    std::int32_t checked = 0;
    std::string problem;
    db::check_current_database(&checked, &problem);
}

void open_and_walk(const std::string& path, bool read_only, const std::string& password) {
    db::OpenOptions options;
    options.read_only = read_only;
    options.password = password;
    if (!db::open_database(path, options)) return;
    walk_current_database();
    db::close_database();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A fatal report would end the process; the walk never names a missing field.
    db::set_fatal_report([](const std::string& text) { std::fprintf(stderr, "fatal report: %s\n", text.c_str()); });
    db::set_password_prompt([](int, std::string*) { return false; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::write_input(data, size);
    open_and_walk(path, /*read_only=*/true, "");
    open_and_walk(path, /*read_only=*/false, fuzz::kSeedPassword);
    return 0;
}
