// A WebDAV folder as the sync's server. What goes there is data.edb.qlt, the store sealed
// under the login password (app/store_envelope.h): a cloud drive is a third party, and the
// store's own format can be guessed at far faster than an Argon2id derivation allows.
//
// Each copy carries a revision. A fetch refuses a copy whose tag fails and asks before taking
// one older than the last this folder exchanged (a restored backup, a replayed file); a send
// seals one past both that and the server copy last seen, and records it once the server
// holds it. A crash before the record leaves the older number, which a later fetch of the
// newer copy simply moves past.
#pragma once

#include <cstdint>
#include <string>

#include "app/remote_store.h"
#include "ftp/webdav_client.h"

namespace quillet::app {

inline constexpr const char* kSealedStoreName = "data.edb.qlt";
extern const char* const kOlderCopyQuestion;

class WebDavRemote : public RemoteStore {
  public:
    // `account.storage_path` is replaced by each transfer's folder. `settings_file` keeps the
    // last exchanged revision.
    WebDavRemote(ftp::WebDavClient& client, ftp::WebDavAccount account, std::string settings_file);
    ~WebDavRemote() override;

    // Checks the account and keeps it on the client; fetch and send connect first when
    // this has not succeeded for their folder.
    platform::Status connect(const std::string& storage_path);

    platform::Status fetch(const ftp::DatabaseSync& sync, std::string_view password, const Ask& ask,
                           std::string* incoming) override;
    platform::Status send(const ftp::DatabaseSync& sync, std::string_view password) override;
    void fetched_copy_taken() override;

  private:
    ftp::WebDavClient& client_;
    ftp::WebDavAccount account_;
    std::string settings_file_;
    bool connected_ = false;
    std::uint64_t seen_revision_ = 0;  // of the server copy last opened, 0 before any
};

// The account the WebDAV fields of the sync settings describe: a typed port above 0 wins
// over the URL's own.
ftp::WebDavAccount webdav_account(const std::string& url, const std::string& port_text, const std::string& user,
                                  std::string_view password);

}  // namespace quillet::app
