// Records in and out as CSV text (UTF-8) for people who move between password managers:
// the program's own layout, and the export layouts of other managers, mapped by the
// names in their header rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/csv.h"
#include "app/record_store.h"

namespace quillet::app {

enum class CsvLayout { kQuillet, kKeepassxc, kBitwarden, kChrome, kFirefox };

// "quillet", "keepassxc", "bitwarden", "chrome" or "firefox".
std::optional<CsvLayout> csv_layout_named(std::string_view name);

// The records with their passwords deciphered, in the program's own layout with a
// header row: platform, account, password, address, remark.
std::string export_csv(const std::vector<Record>& records);

// A row that cannot become a record, with the reason.
struct RejectedRow {
    int line = 0;
    std::string reason;  // English, for the terminal
};

struct ImportPlan {
    std::vector<RecordText> records;  // GBK, in file order, ready to add
    std::vector<RejectedRow> rejected;
    std::string error;  // non-empty: the file as a whole is unusable and nothing is planned
};

// What an import reads: a field the store could keep is at most 382 bytes of UTF-8 (255
// GBK bytes), so 1 KiB still tells which field is too long and by its limit; no export
// layout has near 256 columns; 64 MiB and 100,000 rows are far more than anyone keeps,
// and bound the records planned (at most about 1.5 KB each) as the rest bounds one row.
inline constexpr CsvLimits kImportLimits{
    .field_bytes = 1024, .fields = 256, .input_bytes = std::uint64_t{64} << 20, .rows = 100'000};

// Maps each row of the CSV text (UTF-8) that `source` reads to a record, reading it as it
// goes. Rows whose texts GBK cannot hold, that hold control characters the record window
// would not take (any but tab and line breaks in the remark) or that do not fit their fields
// are rejected by line; rows with nothing in the mapped columns are skipped.
ImportPlan plan_import(CsvSource source, CsvLayout layout, const CsvLimits& limits = kImportLimits);

// "the password is longer than 123 bytes": a limit in English, for the terminal.
std::string describe_limit(const FieldLimit& limit);

// Exactly the GBK form of `utf8`, or nothing when GBK cannot hold a character of it (or
// it is not UTF-8). The store's texts are GBK, so a text that would come back changed is
// refused rather than stored with question marks.
std::optional<std::string> exact_gbk(std::string_view utf8);

}  // namespace quillet::app
