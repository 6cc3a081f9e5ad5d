// Copying the credential database file as a whole to and from the FTP server. The
// transfers report a result; the window that started them shows it.
//
// A download never loses the local file: the server's copy goes to a temporary file
// beside it and is taken only when it is a complete data file that opens with the
// session password. Then the local file is copied to the day's backup (a second download
// on one day gets its own, numbered backup) and the new file is renamed over it in one
// step. On any failure the local file is left exactly as it was.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "ftp/ftp_client.h"

namespace quillet::ftp {

struct DatabaseSync {
    // The local database file, e.g. <program directory>/data.edb.
    std::string local_file;
    // The directory on the server, as typed; the remote file is it + "/data.edb".
    std::string storage_path;
    // Keeps everyone else off the local file while held (only for local file work).
    std::function<std::unique_lock<std::mutex>()> lock_store;
    // True when the file at the path is a complete data file that opens with the
    // session password. Called while lock_store is held.
    std::function<bool(const std::string& path)> is_usable_database;
    // Called with a file holding exactly what the server and this folder now share, after
    // an upload has put it on the server or a download has put it in place of the local
    // file (then under lock_store). Empty: nothing is kept.
    std::function<void(const std::string& exchanged_file)> keep_base;
};

std::string remote_database_file(const std::string& storage_path);

// Creates the storage directory when the server does not list it (one request for the
// whole path; its failure is not looked at), then sends a snapshot of the local file
// under a temporary name beside the server's data.edb and renames it over data.edb once
// it has arrived whole. An interrupted upload leaves the server's copy as it was. The
// transfers report their reasons (ftp/failure_reason.h).
platform::Status upload_database(FtpClient& client, const DatabaseSync& sync);

// The same directory step, then the safe download described above. `backup_file`
// receives the backup's path (empty when there was no local file to keep). Success is
// reported only once the new file's directory is synced; should that sync fail, the new
// file is in place but reported as a failure, and the backup is kept.
platform::Status download_database(FtpClient& client, const DatabaseSync& sync, std::string* backup_file = nullptr);

// The two halves of a download, for a caller that looks at the server's copy first.
// fetch_database: the directory step, then the server's copy into a new private file
// beside the local file, named in `*incoming` (the caller removes it); a failure when the
// server has no copy or the transfer failed. take_database: the checked replace of the
// local file by `incoming` (removed either way) with the backup, as download_database.
platform::Status fetch_database(FtpClient& client, const DatabaseSync& sync, std::string* incoming);
platform::Status take_database(const DatabaseSync& sync, const std::string& incoming,
                               std::string* backup_file = nullptr);

// Copies the local file to the day's backup name; true (and an empty name) when there is
// no local file. For callers that replace the local file themselves.
bool keep_backup(const std::string& local_file, std::string* backup_file);

}  // namespace quillet::ftp
