// Where the sync's copy of the store lives, and how it travels. An FTP folder holds the
// plain data.edb, which other machines and older versions read; a WebDAV folder, most often
// a third party's cloud drive, holds it sealed under the login password (app/webdav_remote.h).
// The merge, the checks, the dated backup and the replace (app/store_sync.h) are the same for
// both: they see only plain store files beside the local one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ftp/database_sync.h"
#include "ftp/ftp_client.h"
#include "platform/status.h"

namespace quillet::app {

// Yes/No questions put to the user; true only for Yes.
using Ask = std::function<bool(const std::string& text)>;

enum RemoteFailure : std::int32_t {
    kRemoteNoCopy = 1,    // the server holds no copy
    kRemoteFailed = 2,    // the transfer failed; the message says why (may be empty)
    kRemoteUnusable = 3,  // the server's copy is damaged, altered or sealed under another password
    kRemoteDeclined = 4,  // the user chose not to take the server's copy
};

// True for an address that names a WebDAV folder (http:// or https://, any letter case);
// anything else is an FTP server.
bool is_webdav_address(std::string_view address);

class RemoteStore {
  public:
    virtual ~RemoteStore() = default;
    // The server's copy as a plain store in a new private file beside sync.local_file, named
    // in `*incoming` (the caller removes it). `ask` may be empty: questions are then answered No.
    virtual platform::Status fetch(const ftp::DatabaseSync& sync, std::string_view password, const Ask& ask,
                                   std::string* incoming) = 0;
    // Makes a snapshot of the local store the server's copy; the server holds a whole copy at
    // every moment. sync.keep_base gets the plain snapshot once the server has it.
    virtual platform::Status send(const ftp::DatabaseSync& sync, std::string_view password) = 0;
    // The copy last fetched is now in place here (taken or merged in).
    virtual void fetched_copy_taken() {}
};

// An FTP folder through the program's connected client; its copy is the plain data.edb.
class FtpRemote : public RemoteStore {
  public:
    explicit FtpRemote(ftp::FtpClient& client) : client_(client) {}
    platform::Status fetch(const ftp::DatabaseSync& sync, std::string_view password, const Ask& ask,
                           std::string* incoming) override;
    platform::Status send(const ftp::DatabaseSync& sync, std::string_view password) override;

  private:
    ftp::FtpClient& client_;
};

}  // namespace quillet::app
