#include "ftp/database_sync.h"

#include <cstdio>

#include "ftp/local_path.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/file.h"
#include "platform/secure_random.h"

namespace quillet::ftp {
namespace {

// Backups of one day beyond this many are refused rather than searched for ever.
constexpr int kMaxBackupsPerDay = 1000;

void ensure_storage_directory(FtpClient& client, const std::string& storage_path) {
    if (!client.directory_exists(storage_path, true)) client.make_directory(storage_path);
}

std::string directory_of(const std::string& file) {
    const std::size_t slash = file.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

// data<yyyy-M-d>.edb beside the local file, or data<yyyy-M-d>-<n>.edb when taken.
std::string free_backup_name(const std::string& local_file) {
    const platform::LocalTime now = platform::clock().local_time();
    platform::CalendarFields fields;
    fields.year = now.year;
    fields.month = now.month;
    fields.day = now.day;
    double today = 0;
    if (!platform::calendar_to_date_time(fields, &today)) return {};
    const std::string stem = directory_of(local_file) + "/data" + format_date_time(today, "yyyy-M-d");
    for (int n = 1; n <= kMaxBackupsPerDay; ++n) {
        const std::string name = n == 1 ? stem + ".edb" : stem + "-" + std::to_string(n) + ".edb";
        if (!platform::is_existing_file(name) && !platform::is_directory(name)) return name;
    }
    return {};
}

// A name of its own beside the server's data.edb, so that two uploads running at once
// never write into one file.
std::string remote_temporary_name(const std::string& storage_path, const char* kind) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(platform::secure_random_below(0xFFFFFFFFu)));
    return remote_database_file(storage_path) + "." + kind + "-" + suffix;
}

// Makes the whole file `sent` the server's data.edb. Renaming over it is one step on
// servers that allow it. Servers that refuse to rename onto an existing file get the old
// copy moved aside first and removed only once the new one is in place; should the
// connection die between the two renames, the server holds both whole copies under the
// temporary names and no data.edb, which a download refuses rather than taking half a
// file. Any failure leaves the old data.edb as it was.
bool put_in_place(FtpClient& client, const std::string& storage_path, const std::string& sent) {
    const std::string target = remote_database_file(storage_path);
    if (client.rename_file(sent, target)) return true;
    const std::string aside = remote_temporary_name(storage_path, "old");
    if (!client.rename_file(target, aside)) return false;
    if (client.rename_file(sent, target)) {
        client.delete_file(aside);
        return true;
    }
    client.rename_file(aside, target);
    return false;
}

}  // namespace

std::string remote_database_file(const std::string& storage_path) { return storage_path + "/data.edb"; }

// Copies rather than moves, so data.edb exists at every moment, even after a crash.
bool keep_backup(const std::string& local_file, std::string* backup_file) {
    backup_file->clear();
    if (!platform::is_existing_file(local_file)) return true;  // nothing to keep
    const std::string name = free_backup_name(local_file);
    std::string bytes;
    if (name.empty() || !is_valid_file_path(name) || !platform::read_whole_file(local_file, &bytes) ||
        !platform::write_whole_file_atomically(name, bytes)) {
        return false;
    }
    *backup_file = name;
    return true;
}

platform::Status upload_database(FtpClient& client, const DatabaseSync& sync) {
    if (!client.is_connected()) return failure(kNotConnected);
    ensure_storage_directory(client, sync.storage_path);
    // A snapshot taken under the store's lock: the file is not written while it is read,
    // and record commands need not wait for the network.
    std::string snapshot;
    {
        const auto lock = sync.lock_store();
        std::string bytes;
        platform::File file;
        // Named apart from the store's own temporaries, which a rewrite of the store may sweep.
        if (platform::create_private_temporary(sync.local_file + ".upload", &file, &snapshot,
                                               platform::Share::kReadWrite) != platform::FileError::kNone) {
            return failure(kLocalFileError);
        }
        if (!platform::read_whole_file(sync.local_file, &bytes) ||
            file.write_at(0, bytes.data(), bytes.size()) != platform::FileError::kNone) {
            file.close();
            platform::remove_file(snapshot);
            return failure(kLocalFileError);
        }
    }
    // The server's data.edb is never the file being written: an interrupted transfer
    // leaves only the temporary behind.
    const std::string sent = remote_temporary_name(sync.storage_path, "upload");
    platform::Status uploaded = client.upload_file(snapshot, sent);
    if (uploaded.ok() && !put_in_place(client, sync.storage_path, sent)) uploaded = failure(kReplaceRefused);
    if (uploaded.ok() && sync.keep_base) sync.keep_base(snapshot);
    platform::remove_file(snapshot);
    if (!uploaded.ok()) client.delete_file(sent);
    return uploaded;
}

platform::Status download_database(FtpClient& client, const DatabaseSync& sync, std::string* backup_file) {
    if (backup_file != nullptr) backup_file->clear();
    std::string incoming;
    platform::Status fetched = fetch_database(client, sync, &incoming);
    return fetched.ok() ? take_database(sync, incoming, backup_file) : fetched;
}

platform::Status fetch_database(FtpClient& client, const DatabaseSync& sync, std::string* incoming) {
    incoming->clear();
    if (!client.is_connected()) return failure(kNotConnected);
    ensure_storage_directory(client, sync.storage_path);
    // The name is taken here, so that the download can only replace a file of our own.
    {
        platform::File reserved;
        if (platform::create_private_temporary(sync.local_file + ".download", &reserved, incoming,
                                               platform::Share::kReadWrite) != platform::FileError::kNone) {
            return failure(kLocalFileError);
        }
    }
    platform::Status downloaded = client.download_file(remote_database_file(sync.storage_path), *incoming);
    if (!downloaded.ok()) {
        platform::remove_file(*incoming);
        incoming->clear();
    }
    return downloaded;
}

platform::Status take_database(const DatabaseSync& sync, const std::string& incoming, std::string* backup_file) {
    std::string backup;
    if (backup_file != nullptr) backup_file->clear();
    const auto lock = sync.lock_store();
    platform::Status taken;
    if (!sync.is_usable_database(incoming)) {
        taken = failure(kUnusableCopy);
    } else if (!keep_backup(sync.local_file, &backup) || !platform::replace_file(incoming, sync.local_file)) {
        taken = failure(kLocalFileError);
    }
    if (!taken.ok()) {
        platform::remove_file(incoming);
        if (!backup.empty()) platform::remove_file(backup);  // a copy of the unchanged file
        return taken;
    }
    if (backup_file != nullptr) *backup_file = backup;
    // Until its directory is synced a power cut may undo the rename: no success before that.
    if (platform::sync_parent_directory(sync.local_file) != platform::FileError::kNone) {
        return failure(kLocalFileError);
    }
    if (sync.keep_base) sync.keep_base(sync.local_file);
    return taken;
}

}  // namespace quillet::ftp
