#include "app/remote_store.h"

#include "ftp/failure_reason.h"

namespace quillet::app {

bool is_webdav_address(std::string_view address) {
    auto starts_with = [address](std::string_view scheme) {
        if (address.size() < scheme.size()) return false;
        for (std::size_t i = 0; i < scheme.size(); ++i) {
            char c = address[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != scheme[i]) return false;
        }
        return true;
    };
    return starts_with("https://") || starts_with("http://");
}

// A copy the server does not have, or one that is no store for this password, is no copy
// to merge: an upload replaces it. Any other failure leaves the server's copy unseen.
platform::Status FtpRemote::fetch(const ftp::DatabaseSync& sync, std::string_view, const Ask&, std::string* incoming) {
    const platform::Status fetched = ftp::fetch_database(client_, sync, incoming);
    if (fetched.ok()) return {};
    switch (fetched.code()) {
        case ftp::kRemoteFileMissing:
            return platform::Status::failure(kRemoteNoCopy, fetched.message());
        case ftp::kUnusableCopy:
            return platform::Status::failure(kRemoteUnusable, fetched.message());
        default:
            return platform::Status::failure(kRemoteFailed, fetched.message());
    }
}

platform::Status FtpRemote::send(const ftp::DatabaseSync& sync, std::string_view) {
    const platform::Status sent = ftp::upload_database(client_, sync);
    if (sent.ok()) return {};
    return platform::Status::failure(kRemoteFailed, sent.message());
}

}  // namespace quillet::app
