// sync: download, merge and upload with the FTP settings the program saved, as the FTP
// window's two buttons would one after the other, with no questions: a command line
// cannot be asked about plain FTP or a new certificate, so only what ftp.ini already
// trusts is connected to.
#include <cstdio>
#include <cstdlib>

#include "app/database_check.h"
#include "app/ftp_password.h"
#include "app/ftp_trust_store.h"
#include "app/record_store.h"
#include "app/session.h"
#include "app/store_sync.h"
#include "app/text_cipher.h"
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

int connect(ftp::FtpClient& client, const std::string& login_password) {
    const std::string server = setting("fuwuqi");
    if (server.empty()) return fail("ftp.ini names no FTP server; connect once from the program's FTP window");
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
            return fail(
                "the server's certificate is not pinned in ftp.ini's zhengshu list; connect once from the "
                "program's FTP window and check its fingerprint");
        case ftp::kTrustBroken:
        case ftp::kCertificateChanged:
        case ftp::kHostNameMismatch:
            return fail(
                "the server's TLS or certificate is not the one ftp.ini's zhengshu list remembers; not "
                "connected");
        default:
            break;
    }
    return fail("could not connect to " + platform::gbk_to_utf8(server) +
                " with the saved account and password: " + platform::gbk_to_utf8(connected.message()));
}

}  // namespace

int run_sync(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--dry-run"}, &error)) return usage_error(error);
    if (!line.positional.empty()) return usage_error("sync takes no arguments");
    std::string password;
    if (const int status = log_in(line, &password); status != kExitOk) return status;
    ftp::FtpClient client;
    if (const int status = connect(client, password); status != kExitOk) {
        app::wipe_text(password);
        return status;
    }
    ftp::DatabaseSync sync;
    sync.local_file = platform::program_file("data.edb");
    sync.storage_path = setting("lu");
    sync.lock_store = app::lock_store;
    sync.is_usable_database = [&password](const std::string& path) { return app::is_usable_database(path, password); };
    sync = app::with_base(sync);
    const bool dry_run = line.has("--dry-run");
    int status = kExitOk;
    bool upload = !dry_run;
    std::string incoming;
    if (ftp::fetch_database(client, sync, &incoming).ok()) {
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
                std::fprintf(stderr, "The server holds the same records; nothing to upload.\n");
            }
        }
        platform::remove_file(incoming);
    } else if (dry_run) {
        std::fprintf(stderr, "Dry run: the server holds no data.edb; sync would upload this one.\n");
    }
    if (status == kExitOk && upload) {
        if (const platform::Status uploaded = ftp::upload_database(client, sync); uploaded.ok()) {
            std::fprintf(stderr, "Uploaded.\n");
        } else {
            status = fail("the upload failed (" + platform::gbk_to_utf8(uploaded.message()) +
                          "); the server keeps its copy");
        }
    }
    app::wipe_text(password);
    client.close();
    return status;
}

}  // namespace quillet::cli
