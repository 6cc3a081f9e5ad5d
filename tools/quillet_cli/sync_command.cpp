// sync: download, merge and upload with the sync settings the program saved (an FTP server
// or a WebDAV URL), as the sync window's two buttons would one after the other; sync upload
// and sync download: one button each. No questions: a command line cannot be asked about
// plain FTP or a new certificate, so only what ftp.ini already trusts is connected to, and
// a transfer that would ask before replacing one side's changes is refused unless --force.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/database_check.h"
#include "app/ftp_password.h"
#include "app/ftp_trust_store.h"
#include "app/record_store.h"
#include "app/remote_store.h"
#include "app/session.h"
#include "app/store_sync.h"
#include "app/text_cipher.h"
#include "app/webdav_remote.h"
#include "ftp/webdav_failure.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"
#include "platform/text_codec.h"
#include "tools/quillet_cli/commands.h"
#include "tools/quillet_cli/console.h"
#include "tools/quillet_cli/login.h"

namespace quillet::cli {
namespace {

std::string ftp_settings() { return platform::program_file("ftp.ini"); }

std::string setting(const char* key) {
    return app::decipher(platform::read_setting(ftp_settings(), "ftp", key), app::kCipherKey);
}

// The FTP password the program saved, as the login password opens it.
std::string ftp_password(const std::string& login_password) {
    const std::string stored = platform::read_setting(ftp_settings(), "ftp", "password");
    if (!app::is_sealed_ftp_value(stored)) return app::decipher(stored, app::kCipherKey);
    platform::LockedBytes opened;
    if (!app::open_ftp_password(*app::derive_ftp_key(stored, login_password), stored, &opened)) return {};
    return std::string(opened.view());
}

constexpr const char* kNotPinned =
    "the server's certificate is not pinned in ftp.ini's zhengshu list; connect once from the program's FTP "
    "window and check its fingerprint";
constexpr const char* kTrustBroken =
    "the server's TLS or certificate is not the one ftp.ini's zhengshu list remembers; not connected";

// The server the saved settings name, once connected.
struct SavedServer {
    ftp::FtpClient ftp;
    ftp::WebDavClient webdav;
    std::unique_ptr<app::RemoteStore> remote;
};

int connect_webdav(SavedServer* server, const std::string& url, const std::string& login_password) {
    server->webdav.set_trust_store(app::ftp_trust_store(ftp_settings));
    std::string password = ftp_password(login_password);
    auto remote = std::make_unique<app::WebDavRemote>(
        server->webdav, app::webdav_account(url, setting("duankou"), setting("name"), password), ftp_settings());
    app::wipe_text(password);
    const platform::Status connected = remote->connect(setting("lu"));
    server->remote = std::move(remote);
    switch (connected.code()) {
        case 0:
            return kExitOk;
        case ftp::kDavCertificateDeclined:
            return fail(kNotPinned);
        case ftp::kDavCertificateChanged:
            return fail(kTrustBroken);
        default:
            return fail("could not connect to " + platform::gbk_to_utf8(url) + ": " +
                        platform::gbk_to_utf8(connected.message()));
    }
}

int connect(SavedServer* saved, const std::string& login_password) {
    const std::string server = setting("fuwuqi");
    if (server.empty()) return fail("ftp.ini names no FTP server; connect once from the program's FTP window");
    if (app::is_webdav_address(server)) return connect_webdav(saved, server, login_password);
    ftp::FtpClient& client = saved->ftp;
    saved->remote = std::make_unique<app::FtpRemote>(client);
    client.set_trust_store(app::ftp_trust_store(ftp_settings));
    std::string password = ftp_password(login_password);
    const platform::Status connected = client.connect(client.take_connect_ticket(), server, setting("name"), password,
                                                      std::atoi(setting("duankou").c_str()), true);
    app::wipe_text(password);
    if (connected.ok()) return kExitOk;
    switch (connected.code()) {
        case ftp::kPlainDeclined:
            return fail(
                "the server offers no TLS, and ftp.ini's zhengshu list does not hold your agreement to "
                "plain FTP for it; connect once from the program's FTP window and answer the question");
        case ftp::kPinDeclined:
            return fail(kNotPinned);
        case ftp::kTrustBroken:
        case ftp::kCertificateChanged:
        case ftp::kHostNameMismatch:
            return fail(kTrustBroken);
        default:
            break;
    }
    return fail("could not connect to " + platform::gbk_to_utf8(server) +
                " with the saved account and password: " + platform::gbk_to_utf8(connected.message()));
}

ftp::DatabaseSync saved_sync(const std::string& password) {
    ftp::DatabaseSync sync;
    sync.local_file = platform::program_file("data.edb");
    sync.storage_path = setting("lu");
    sync.lock_store = app::lock_store;
    sync.is_usable_database = [&password](const std::string& path) { return app::is_usable_database(path, password); };
    return app::with_base(sync);
}

// One button of the window: the same questions, answered No to merging and Yes to replacing
// only with --force; those declined are shown.
int run_one_transfer(app::RemoteStore& remote, bool upload, bool force, const std::string& password) {
    const ftp::DatabaseSync sync = saved_sync(password);
    std::vector<std::string> declined;
    const app::Ask ask = [&](const std::string& question) {
        const bool yes = force && question != app::kDownloadMergeQuestion && question != app::kUploadMergeQuestion;
        if (!yes) declined.push_back(question);
        return yes;
    };
    const app::SyncOutcome outcome = upload ? app::upload_with_merge(remote, sync, password, ask)
                                            : app::download_with_merge(remote, sync, password, ask);
    if (outcome.ok) {
        std::fprintf(stderr, upload ? "Uploaded.\n"
                                    : "Downloaded; the store it replaced is kept as the day's backup "
                                      "(data<yyyy-M-d>.edb).\n");
        return kExitOk;
    }
    if (outcome.cancelled) {
        for (const std::string& question : declined) {
            std::fprintf(stderr, "Not answered yes: %s\n", platform::gbk_to_utf8(question).c_str());
        }
        return fail(std::string("nothing changed; \"quillet-cli sync\" merges both sides, and --force replaces ") +
                    (upload ? "the server's copy" : "this store"));
    }
    const std::string why = outcome.reason.empty() ? "" : ": " + platform::gbk_to_utf8(outcome.reason);
    return fail(upload ? "the upload failed, the server keeps its copy" + why
                       : "the download failed, this store is unchanged" + why);
}

// Download, merge, upload, with no questions.
int run_merge_sync(app::RemoteStore& remote, bool dry_run, const std::string& password) {
    const ftp::DatabaseSync sync = saved_sync(password);
    int status = kExitOk;
    bool upload = !dry_run;
    std::string incoming;
    const platform::Status fetched = remote.fetch(sync, password, {}, &incoming);
    if (!fetched.ok() && fetched.code() != app::kRemoteNoCopy) {
        return fail("the server's copy was not taken: " + platform::gbk_to_utf8(fetched.message()) +
                    "; nothing changed");
    }
    if (fetched.ok()) {
        std::optional<std::vector<app::Record>> theirs;
        if (sync.is_usable_database(incoming)) {
            const auto lock = app::lock_store();
            theirs = app::read_store_file(incoming, password);
        }
        const auto merged = theirs ? app::merge_into_local(sync, password, incoming, password, dry_run) : std::nullopt;
        if (!merged) {
            status = fail(theirs ? "the merged store could not be written; nothing changed"
                                 : "the server's data.edb does not open with the login password; nothing changed");
        } else if (merged->status == app::MergeResult::Status::kNoFreeId) {
            status = fail("not enough free record IDs below 2147483647; nothing was merged");
        } else {
            for (const app::MergeChange& change : merged->changes) {
                print_line(platform::gbk_to_utf8(describe_change(change)));
            }
            std::fprintf(stderr, "%s%s\n", dry_run ? "Dry run, nothing written: " : "Merged: ",
                         platform::gbk_to_utf8(describe_counts(merged->counts)).c_str());
            // The server holds these records already: its copy is the one both now share.
            if (!dry_run && !app::records_differ(merged->records, *theirs)) {
                upload = false;
                const auto lock = app::lock_store();
                app::keep_sync_base(incoming);
                remote.fetched_copy_taken();
                std::fprintf(stderr, "The server holds the same records; nothing to upload.\n");
            }
        }
        platform::remove_file(incoming);
    } else if (dry_run) {
        std::fprintf(stderr, "Dry run: the server holds no data.edb; sync would upload this one.\n");
    }
    if (status == kExitOk && upload) {
        if (const platform::Status sent = remote.send(sync, password); sent.ok()) {
            std::fprintf(stderr, "Uploaded.\n");
        } else {
            status = fail("the upload failed; the server keeps its copy" +
                          (sent.message().empty() ? "" : ": " + platform::gbk_to_utf8(sent.message())));
        }
    }
    return status;
}

}  // namespace

int run_sync(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--dry-run", "--force"}, &error)) return usage_error(error);
    if (line.positional.size() > 1) return usage_error("sync takes at most one argument: upload or download");
    const std::string direction = line.positional.empty() ? "" : line.positional[0];
    if (!direction.empty() && direction != "upload" && direction != "download") {
        return usage_error("sync upload or sync download, or sync alone to merge");
    }
    if (direction.empty() && line.has("--force")) return usage_error("--force is for sync upload and sync download");
    if (!direction.empty() && line.has("--dry-run")) return usage_error("--dry-run is for sync alone");
    std::string password;
    if (const int status = log_in(line, &password); status != kExitOk) return status;
    SavedServer server;
    int status = connect(&server, password);
    if (status == kExitOk) {
        status = direction.empty()
                     ? run_merge_sync(*server.remote, line.has("--dry-run"), password)
                     : run_one_transfer(*server.remote, direction == "upload", line.has("--force"), password);
    }
    app::wipe_text(password);
    server.ftp.close();
    server.webdav.close();
    return status;
}

}  // namespace quillet::cli
