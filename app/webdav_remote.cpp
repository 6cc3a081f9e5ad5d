#include "app/webdav_remote.h"

#include <algorithm>
#include <cstdlib>

#include "app/store_envelope.h"
#include "app/sync_revision.h"
#include "ftp/webdav_failure.h"
#include "platform/file.h"
#include "platform/locked_bytes.h"
#include "platform/secret_text.h"

namespace quillet::app {

const char* const kOlderCopyQuestion = "服务器上的数据比上次同步的旧。是否仍然使用服务器上的数据？";

namespace {

using platform::Status;

// A new private file beside `beside` holding `bytes`, named in `*created`.
bool write_private_temporary(const std::string& beside, std::string_view bytes, std::string* created) {
    platform::File file;
    if (platform::create_private_temporary(beside, &file, created, platform::Share::kReadWrite) !=
        platform::FileError::kNone) {
        return false;
    }
    if (file.write_at(0, bytes.data(), bytes.size()) == platform::FileError::kNone) return true;
    file.close();
    platform::remove_file(*created);
    created->clear();
    return false;
}

Status transfer_failure(const Status& status) {
    return Status::failure(status.code() == ftp::kDavNotFound ? kRemoteNoCopy : kRemoteFailed, status.message());
}

}  // namespace

ftp::WebDavAccount webdav_account(const std::string& url, const std::string& port_text, const std::string& user,
                                  std::string_view password) {
    ftp::WebDavAccount account;
    account.url = url;
    // Blank means the URL's port; anything typed is the port asked for, and the client says
    // why a number outside 1 to 65535 cannot be one.
    const bool blank = std::all_of(port_text.begin(), port_text.end(), [](char c) { return c == ' '; });
    account.port = blank ? 0 : std::atoi(port_text.c_str());
    if (!blank && account.port == 0) account.port = -1;
    account.user = user;
    account.password = std::string(password);
    return account;
}

WebDavRemote::WebDavRemote(ftp::WebDavClient& client, ftp::WebDavAccount account, std::string settings_file)
    : client_(client), account_(std::move(account)), settings_file_(std::move(settings_file)) {}

WebDavRemote::~WebDavRemote() { platform::wipe_secret(account_.password); }

Status WebDavRemote::connect(const std::string& storage_path) {
    account_.storage_path = storage_path;
    const Status connected = client_.connect(account_);
    connected_ = connected.ok();
    return connected;
}

Status WebDavRemote::fetch(const ftp::DatabaseSync& sync, std::string_view password, const Ask& ask,
                           std::string* incoming) {
    incoming->clear();
    if (!connected_ || account_.storage_path != sync.storage_path) {
        if (const Status connected = connect(sync.storage_path); !connected.ok()) return transfer_failure(connected);
    }
    std::string sealed;
    if (!write_private_temporary(sync.local_file + ".download", {}, &sealed)) {
        return Status::failure(kRemoteFailed, "无法创建本地临时文件");
    }
    if (const Status got = client_.download(kSealedStoreName, sealed); !got.ok()) {
        platform::remove_file(sealed);
        return transfer_failure(got);
    }
    std::uint64_t revision = 0;
    platform::LockedBytes store;
    const Status opened = open_store_envelope_file(sealed, password, &revision, &store);
    platform::remove_file(sealed);
    if (!opened.ok()) return Status::failure(kRemoteUnusable, opened.message());
    seen_revision_ = revision;
    const Status fresh = check_not_older(revision, last_exchanged_revision(settings_file_));
    if (!fresh.ok() && (!ask || !ask(kOlderCopyQuestion))) return Status::failure(kRemoteDeclined, fresh.message());
    if (!write_private_temporary(sync.local_file + ".download", store.view(), incoming)) {
        return Status::failure(kRemoteFailed, "无法写入本地临时文件");
    }
    return {};
}

Status WebDavRemote::send(const ftp::DatabaseSync& sync, std::string_view password) {
    if (!connected_ || account_.storage_path != sync.storage_path) {
        if (const Status connected = connect(sync.storage_path); !connected.ok()) return connected;
    }
    // A snapshot taken under the store's lock, kept as a file for the base.
    platform::SecretText plain;
    std::string snapshot;
    {
        const auto lock = sync.lock_store();
        std::string bytes;
        const bool read = platform::read_whole_file(sync.local_file, &bytes);
        plain = platform::SecretText(std::move(bytes));
        if (!read || !write_private_temporary(sync.local_file + ".upload", plain.text(), &snapshot)) {
            return Status::failure(kRemoteFailed, "无法读取本地数据文件");
        }
    }
    // Past every copy this folder has seen, so that no other folder takes it for an older one.
    const std::uint64_t revision = std::max(last_exchanged_revision(settings_file_), seen_revision_) + 1;
    std::string envelope;
    Status result = seal_store(plain.text(), password, revision, &envelope);
    std::string sealed;
    if (result.ok() && !write_private_temporary(sync.local_file + ".upload", envelope, &sealed)) {
        result = Status::failure(kRemoteFailed, "无法写入本地临时文件");
    }
    if (result.ok()) {
        result = client_.upload(sealed, kSealedStoreName);
        platform::remove_file(sealed);
    }
    if (result.ok()) {
        seen_revision_ = revision;
        record_exchanged_revision(settings_file_, revision);
        if (sync.keep_base) sync.keep_base(snapshot);
    }
    platform::remove_file(snapshot);
    return result;
}

// The copy taken is the one exchanged, even an older one the user chose to take: its number
// is what this folder now shares with the server.
void WebDavRemote::fetched_copy_taken() { record_exchanged_revision(settings_file_, seen_revision_); }

}  // namespace quillet::app
