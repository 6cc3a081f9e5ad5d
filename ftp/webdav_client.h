// A WebDAV folder as the sync's storage, through libcurl: a connect check, whole-file
// upload, download and delete of files in one storage folder below the account's URL,
// and its listing. Every result is a platform::Status whose code is a WebDavFailure
// (ftp/webdav_failure.h) and whose message tells a person why.
//
// Texts come in GBK and go out as UTF-8, percent-encoded in URLs. TLS is checked as
// ftp/server_trust.h describes for FTPS (system authorities, or a pin the user agreed
// to after seeing its fingerprint): each connect first meets the server without
// credentials, so a certificate that changed fails before the password is sent. A
// password never goes over plain http to anything but this machine. Redirects are
// followed only to the same scheme, host and port, at most 5; every request has header
// and body caps, a stall limit and an overall deadline.
//
// Thread-safe: every operation holds mutex_ for its whole run. close() first asks a
// running request to give up, which it notices within about a second. Not copyable.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ftp/server_trust.h"
#include "platform/status.h"

namespace quillet::ftp {

struct WebDavAccount {
    std::string url;           // "https://host[:port]/path", as typed (GBK)
    int port = 0;              // 0: the URL's own port, or the scheme's; another number wins
    std::string user;          // GBK
    std::string password;      // GBK
    std::string storage_path;  // the folder below the URL, "/" or "\" separated; "" for the URL itself
};

struct WebDavTimeouts {
    long connect_ms = 15000;
    long stall_seconds = 30;     // a request that moves no byte for this long fails
    long request_seconds = 900;  // no request, however it trickles, runs longer
};

struct WebDavEntry {
    std::string name;  // GBK
    bool folder = false;
    std::int64_t size = -1;  // -1 when the server did not say
};

// Bytes sent or received so far, and of how many (-1 when unknown); on the transferring thread.
using WebDavProgress = std::function<void(std::int64_t done, std::int64_t total)>;

class WebDavClient {
  public:
    WebDavClient();
    ~WebDavClient();  // runs close
    WebDavClient(const WebDavClient&) = delete;
    WebDavClient& operator=(const WebDavClient&) = delete;

    void set_timeouts(const WebDavTimeouts& timeouts);
    // Where each server's TLS trust is looked up and recorded, under server_key(host, port);
    // without one the client remembers for its own lifetime only.
    void set_trust_store(TrustStore store);
    // Asked (allow_pin only) before a certificate no authority vouches for is pinned; the
    // question is asked while connect holds the client.
    void set_trust_consent(TrustConsent consent);
    // A file of certificate authorities to trust instead of the system's (tests).
    void set_certificate_authorities(const std::string& file);
    void set_progress(WebDavProgress progress);

    // Checks the account (a PROPFIND of the URL) and keeps it for the calls below; a
    // failed connect leaves the client not connected.
    platform::Status connect(const WebDavAccount& account);
    bool connected();
    // The storage folder's entries (PROPFIND Depth: 1); not found while it does not exist.
    platform::Status list(std::vector<WebDavEntry>* entries);
    // Makes the local file the storage folder's `target_name`, creating every missing level
    // of the folder. The file goes up under a temporary name and is moved onto the target
    // only once whole, so the server holds a whole copy at every moment; an interrupted
    // upload leaves the previous copy as it was.
    platform::Status upload(const std::string& local_file, const std::string& target_name);
    // Replaces the local file only once the whole file arrived (private temporary beside it).
    platform::Status download(const std::string& target_name, const std::string& local_file);
    platform::Status remove(const std::string& target_name);
    // Gives up a running request (within about a second), forgets the account and password.
    void close();

    struct Impl;

  private:
    std::mutex mutex_;
    std::atomic<bool> cancel_requested_{false};
    std::unique_ptr<Impl> impl_;  // guarded by mutex_
};

}  // namespace quillet::ftp
