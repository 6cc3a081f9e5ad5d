// merge: the records of another data.edb (a second folder's, a backup) merged into this one.
#include <cstdio>

#include "app/record_store.h"
#include "app/session.h"
#include "app/store_sync.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/text_codec.h"
#include "tools/quillet_cli/commands.h"
#include "tools/quillet_cli/console.h"
#include "tools/quillet_cli/login.h"

namespace quillet::cli {

int run_merge(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--dry-run", "--password-stdin-other"}, &error)) return usage_error(error);
    if (line.positional.size() != 1) return usage_error("merge needs one FILE");
    const std::string file_utf8 = line.positional[0];
    std::string file;
    if (!to_store_text(file_utf8, "the file name", &file)) return kExitUsage;
    if (!platform::is_existing_file(file)) return fail(file_utf8 + " does not exist");
    std::string password;
    if (const int status = log_in(line, &password); status != kExitOk) return status;
    std::string other_password = password;
    if (line.has("--password-stdin-other")) {
        std::string typed;
        if (!read_secret_line("Password of " + file_utf8 + ": ", &typed)) {
            app::wipe_text(password);
            return fail("standard input ended before the password of " + file_utf8);
        }
        const bool converted = to_store_text(typed, "the password", &other_password);
        app::wipe_text(typed);
        if (!converted) return kExitFailure;
    }
    ftp::DatabaseSync local;
    local.local_file = platform::program_file("data.edb");
    local.lock_store = app::lock_store;
    const bool dry_run = line.has("--dry-run");
    const auto merged = app::merge_into_local(local, password, file, other_password, dry_run, false);
    app::wipe_text(password);
    app::wipe_text(other_password);
    if (!merged) return fail(file_utf8 + " did not open with that password, or the store could not be written");
    if (merged->status == app::MergeResult::Status::kNoFreeId) {
        return fail("not enough free record IDs below 2147483647; nothing was merged");
    }
    for (const app::MergeChange& change : merged->changes) print_line(platform::gbk_to_utf8(describe_change(change)));
    std::fprintf(stderr, "%s%s\n", dry_run ? "Dry run, nothing written: " : "Merged: ",
                 platform::gbk_to_utf8(describe_counts(merged->counts)).c_str());
    return kExitOk;
}

}  // namespace quillet::cli
