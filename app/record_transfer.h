// Records in and out as CSV text (UTF-8) for people who move between password managers:
// the program's own layout, and the export layouts of other managers, mapped by the
// names in their header rows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Maps each row of `csv_utf8` to a record. Rows whose texts GBK cannot hold or that do
// not fit their fields are rejected by line; rows with nothing in the mapped columns are
// skipped.
ImportPlan plan_import(std::string_view csv_utf8, CsvLayout layout);

// "the password is longer than 123 bytes": a limit in English, for the terminal.
std::string describe_limit(const FieldLimit& limit);

// Exactly the GBK form of `utf8`, or nothing when GBK cannot hold a character of it (or
// it is not UTF-8). The store's texts are GBK, so a text that would come back changed is
// refused rather than stored with question marks.
std::optional<std::string> exact_gbk(std::string_view utf8);

}  // namespace quillet::app
