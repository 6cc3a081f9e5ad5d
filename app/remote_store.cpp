#include "app/remote_store.h"

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

// The FTP transfer does not tell a missing copy from a failed transfer; both count as no
// copy, which an upload then replaces, as it always has.
platform::Status FtpRemote::fetch(const ftp::DatabaseSync& sync, std::string_view, const Ask&, std::string* incoming) {
    if (ftp::fetch_database(client_, sync, incoming)) return {};
    return platform::Status::failure(kRemoteNoCopy, {});
}

platform::Status FtpRemote::send(const ftp::DatabaseSync& sync, std::string_view) {
    if (ftp::upload_database(client_, sync)) return {};
    return platform::Status::failure(kRemoteFailed, {});
}

}  // namespace quillet::app
