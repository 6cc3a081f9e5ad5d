// export and import: the records as CSV, for moving to or from another password manager.
#include <cstdio>

#include "app/record_store.h"
#include "app/record_transfer.h"
#include "app/session.h"
#include "platform/file.h"
#include "platform/private_file.h"
#include "tools/quillet_cli/commands.h"
#include "tools/quillet_cli/console.h"
#include "tools/quillet_cli/login.h"

namespace quillet::cli {

int run_export(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--csv", "--force"}, &error)) return usage_error(error);
    if (!line.positional.empty() || !line.has("--csv")) return usage_error("export needs --csv FILE");
    const std::string file_utf8 = line.value("--csv");
    std::string file;
    if (!to_store_text(file_utf8, "the file name", &file)) return kExitUsage;
    // Checked before the password is asked; the write itself refuses atomically too.
    const bool force = line.has("--force");
    if (!force && (platform::is_existing_file(file) || platform::is_directory(file))) {
        return fail(file_utf8 + " exists; --force replaces it");
    }
    std::string password;
    if (const int status = log_in(line, &password); status != kExitOk) return status;
    const std::vector<app::Record> records = app::list_records(password);
    app::wipe_text(password);

    std::string csv = app::export_csv(records);
    const bool written = platform::write_private_file(file, csv, force);
    app::wipe_text(csv);
    if (!written) return fail("could not write " + file_utf8 + (force ? "" : " (does it exist?)"));
    std::fprintf(stderr,
                 "Exported %zu records to %s.\nwarning: the file holds every password in clear text; "
                 "delete it once it has been imported elsewhere.\n",
                 records.size(), file_utf8.c_str());
    return kExitOk;
}

int run_import(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--csv", "--format", "--dry-run"}, &error)) return usage_error(error);
    if (!line.positional.empty() || !line.has("--csv") || !line.has("--format")) {
        return usage_error("import needs --csv FILE and --format FORMAT");
    }
    const std::optional<app::CsvLayout> layout = app::csv_layout_named(line.value("--format"));
    if (!layout) {
        return usage_error("unknown format \"" + line.value("--format") +
                           "\"; one of quillet, keepassxc, bitwarden, chrome, firefox");
    }
    const std::string file_utf8 = line.value("--csv");
    std::string file;
    if (!to_store_text(file_utf8, "the file name", &file)) return kExitUsage;
    platform::SequentialFile input;
    if (!input.open(file)) return fail("could not read " + file_utf8);
    app::ImportPlan plan = app::plan_import(
        [&input](char* buffer, std::size_t capacity) { return input.read(buffer, capacity); }, *layout);
    if (!plan.error.empty()) return fail(file_utf8 + ": " + plan.error + "; nothing imported");
    for (const app::RejectedRow& row : plan.rejected) {
        std::fprintf(stderr, "%s: line %d: %s; not imported\n", file_utf8.c_str(), row.line, row.reason.c_str());
    }

    // Rows left out fail an import that adds nothing; one that adds the rest has a status of
    // its own, so that a script does not run it again and add those records twice.
    int status = plan.rejected.empty() ? kExitOk : kExitFailure;
    if (line.has("--dry-run")) {
        std::fprintf(stderr, "Dry run: %zu records would be imported, %zu rows not.\n", plan.records.size(),
                     plan.rejected.size());
    } else if (!plan.records.empty()) {
        std::string password;
        if (const int login = log_in(line, &password); login != kExitOk) return login;
        std::vector<std::int32_t> ids;
        const app::WriteResult result = app::add_records(password, plan.records, &ids);
        app::wipe_text(password);
        if (result == app::WriteResult::kNoFreeId) {
            status = fail("not enough free record IDs below 2147483647; nothing was imported");
        } else if (result != app::WriteResult::kDone) {
            status = fail("the store refused the records after " + std::to_string(ids.size()) + " were added");
        }
        if (!ids.empty()) {
            std::fprintf(stderr, "Imported %zu records as IDs %d to %d.\n", ids.size(), ids.front(), ids.back());
            if (ids.size() < plan.records.size() + plan.rejected.size()) status = kExitPartial;
        }
    } else {
        std::fprintf(stderr, "Nothing to import.\n");
    }
    for (app::RecordText& text : plan.records) app::wipe_text(text.password);
    return status;
}

}  // namespace quillet::cli
