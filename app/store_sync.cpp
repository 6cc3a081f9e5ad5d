#include "app/store_sync.h"

#include "platform/file.h"
#include "platform/program_dir.h"

namespace quillet::app {

const char* const kDownloadMergeQuestion =
    "本地数据有尚未上传的修改。是：合并两边的数据；否：用服务器的数据替换本地数据；取消：不下载";
const char* const kDownloadReplaceQuestion =
    "是否用服务器的数据替换本地数据？本地尚未上传的修改只留在备份文件中。"
    "点击‘否’不下载";
const char* const kUploadMergeQuestion =
    "服务器上的数据在上次同步后有了修改。是：先合并两边的数据再上传；否：用本地数据覆盖服务器的数据；取消：不上传";
const char* const kUploadReplaceQuestion =
    "是否用本地数据覆盖服务器的数据？服务器上的修改将不再保留在服务器上。"
    "点击‘否’不上传";

namespace {

std::optional<std::vector<Record>> read_base(std::string_view password) {
    return read_store_file(sync_base_file(), password);
}

}  // namespace

std::string sync_base_file() { return platform::program_file("data.sync.edb"); }

void keep_sync_base(const std::string& exchanged) {
    std::string bytes;
    if (platform::read_whole_file(exchanged, &bytes)) platform::write_whole_file_atomically(sync_base_file(), bytes);
}

ftp::DatabaseSync with_base(ftp::DatabaseSync sync) {
    sync.keep_base = keep_sync_base;
    return sync;
}

std::optional<MergeResult> merge_into_local(const ftp::DatabaseSync& sync, std::string_view password,
                                            const std::string& other, std::string_view other_password, bool dry_run,
                                            bool with_base) {
    const auto lock = sync.lock_store();
    const auto local = read_store_file(sync.local_file, password);
    const auto theirs = read_store_file(other, other_password);
    if (!local || !theirs) return std::nullopt;
    MergeResult merged = merge_records(*local, *theirs, with_base ? read_base(password) : std::nullopt);
    if (dry_run || merged.status != MergeResult::Status::kDone || merged.changes.empty()) return merged;
    std::string backup;
    if (!ftp::keep_backup(sync.local_file, &backup) || !write_store_file(sync.local_file, password, merged.records)) {
        return std::nullopt;
    }
    return merged;
}

SyncOutcome download_with_merge(RemoteStore& remote, const ftp::DatabaseSync& sync, std::string_view password,
                                const Ask& ask) {
    SyncOutcome outcome;
    std::string incoming;
    if (const platform::Status fetched = remote.fetch(sync, password, ask, &incoming); !fetched.ok()) {
        outcome.cancelled = fetched.code() == kRemoteDeclined;
        outcome.reason = fetched.message();
        return outcome;
    }
    bool local_changed = false;
    {
        const auto lock = sync.lock_store();
        // A copy that is no store of ours is refused before anyone is asked about it.
        if (!sync.is_usable_database(incoming) || !read_store_file(incoming, password)) {
            platform::remove_file(incoming);
            outcome.reason = ftp::failure(ftp::kUnusableCopy).message();
            return outcome;
        }
        const auto local = read_store_file(sync.local_file, password);
        const auto base = read_base(password);
        local_changed = local && !local->empty() && (!base || records_differ(*local, *base));
    }
    if (local_changed && ask(kDownloadMergeQuestion)) {
        const auto merged = merge_into_local(sync, password, incoming, password, false);
        if (merged && merged->status == MergeResult::Status::kDone) {
            outcome.ok = true;
            outcome.merged = merged->counts;
            const auto lock = sync.lock_store();
            keep_sync_base(incoming);
            remote.fetched_copy_taken();
        }
        outcome.no_free_id = merged && merged->status == MergeResult::Status::kNoFreeId;
        platform::remove_file(incoming);
        return outcome;
    }
    if (local_changed && !ask(kDownloadReplaceQuestion)) {
        platform::remove_file(incoming);
        outcome.cancelled = true;
        return outcome;
    }
    const platform::Status taken = ftp::take_database(with_base(sync), incoming);
    outcome.ok = taken.ok();
    outcome.reason = taken.message();
    if (outcome.ok) remote.fetched_copy_taken();
    return outcome;
}

SyncOutcome upload_with_merge(RemoteStore& remote, const ftp::DatabaseSync& sync, std::string_view password,
                              const Ask& ask) {
    SyncOutcome outcome;
    std::string incoming;
    const platform::Status fetched = remote.fetch(sync, password, {}, &incoming);
    // A copy that did not arrive may still be there: never overwrite what was not looked at.
    if (fetched.code() == kRemoteFailed) {
        outcome.reason = fetched.message();
        return outcome;
    }
    if (fetched.ok()) {
        bool server_changed = false;
        {
            const auto lock = sync.lock_store();
            const auto server = read_store_file(incoming, password);
            const auto base = read_base(password);
            server_changed = server && (!base || records_differ(*server, *base));
        }
        if (server_changed && ask(kUploadMergeQuestion)) {
            const auto merged = merge_into_local(sync, password, incoming, password, false);
            if (!merged || merged->status != MergeResult::Status::kDone) {
                outcome.no_free_id = merged && merged->status == MergeResult::Status::kNoFreeId;
                platform::remove_file(incoming);
                return outcome;
            }
            outcome.merged = merged->counts;
        } else if (server_changed && !ask(kUploadReplaceQuestion)) {
            platform::remove_file(incoming);
            outcome.cancelled = true;
            return outcome;
        }
        platform::remove_file(incoming);
    }
    const platform::Status sent = remote.send(with_base(sync), password);
    outcome.ok = sent.ok();
    outcome.reason = sent.message();
    return outcome;
}

}  // namespace quillet::app
