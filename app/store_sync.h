// Sync that merges: the two transfers of the FTP window when both the local store and the
// server's copy changed since the copy they last agreed on. That copy (the base) is kept
// as data.sync.edb beside data.edb, under the same access password, after every upload or
// download; a base that does not open counts as none.
//
// Crash order: a merged store replaces data.edb in one rename (after the dated backup);
// the base is written only once the server holds the result (upload) or data.edb does
// (download). A crash in between leaves an older base, and the next sync merges to the
// same result, since the side that already holds an edit agrees with the other.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/record_merge.h"
#include "app/remote_store.h"
#include "ftp/database_sync.h"

namespace quillet::app {

// <program directory>/data.sync.edb
std::string sync_base_file();
// Makes the file at `exchanged` the base (0600, replaced whole).
void keep_sync_base(const std::string& exchanged);

extern const char* const kDownloadMergeQuestion;
extern const char* const kDownloadReplaceQuestion;
extern const char* const kUploadMergeQuestion;
extern const char* const kUploadReplaceQuestion;

struct SyncOutcome {
    bool ok = false;
    bool cancelled = false;             // the user chose not to go on: nothing changed
    std::optional<MergeCounts> merged;  // set when a merge went in
    bool no_free_id = false;            // the merge needs an ID past the largest
    std::string reason;                 // why the transfer failed, where it is known
};

// The transfer's DatabaseSync with the base kept after it.
ftp::DatabaseSync with_base(ftp::DatabaseSync sync);

// Download. When the local store differs from the base, asks whether to merge, else
// whether to replace the local data with the server's; No to both cancels, as does No to
// a question the server's copy itself brings (an older copy).
SyncOutcome download_with_merge(RemoteStore& remote, const ftp::DatabaseSync& sync, std::string_view password,
                                const Ask& ask);
// Upload. When the server holds a copy that differs from the base (or there is no base),
// asks whether to merge it in first, else whether to overwrite it; No to both cancels.
// A server copy that does not open, or is older than the last one exchanged, is overwritten
// without a question, as one already superseded; one whose transfer failed is left alone.
// The window layer has Yes/No questions only, so each three-way choice is two questions,
// and a question cancelled with the window (answered No) never overwrites either side.
SyncOutcome upload_with_merge(RemoteStore& remote, const ftp::DatabaseSync& sync, std::string_view password,
                              const Ask& ask);

// Merges the store at `other` into the local store and writes the result through the
// backup and the crash-safe replace. The base, when it opens, is the common copy for the
// server's copy; any other file (`with_base` false) has none known, and merges by the
// no-base rule. Caller holds no lock. `dry_run`: nothing is written. Nothing when a store
// does not open or the write fails.
std::optional<MergeResult> merge_into_local(const ftp::DatabaseSync& sync, std::string_view password,
                                            const std::string& other, std::string_view other_password, bool dry_run,
                                            bool with_base = true);

}  // namespace quillet::app
