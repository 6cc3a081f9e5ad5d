// One FTP connection with whole-file transfers, the directory and file commands a
// database copy needs, and a lookup of directories. Remote paths are GBK bytes and reach
// the server as they are; a relative path is taken against the login directory, so
// nothing depends on where the server's own current directory happens to be. Every
// operation returns its failure value, without any traffic, when not connected.
//
// Connections use explicit TLS (AUTH TLS, protected data channel), checked as
// ftp/server_trust.h describes. Credentials cross an unprotected connection only to a
// server that offers no TLS and that the user agreed to use in plain FTP; a certificate
// no authority vouches for is used only once the user agreed to pin it.
//
// Thread-safe: the window thread and transfer threads share the one program-wide client.
// Every operation holds mutex_ for its whole run, so operations never interleave on the
// connection. close() first asks a running operation to give up (it notices within about
// a second), so closing never waits for a long transfer; closes_ counts the close calls
// for the connect tickets. Not copyable: copies would share one connection with no owner.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ftp/failure_reason.h"
#include "ftp/server_trust.h"
#include "platform/status.h"

namespace quillet::ftp {

inline constexpr int kTransferAscii = 1;
inline constexpr int kTransferBinary = 2;

// How long the client waits. A dead server is given up after connect_ms; a transfer or a
// reply that makes no progress for stall_seconds fails.
struct FtpTimeouts {
    long connect_ms = 15000;
    long stall_seconds = 30;
};

// Taken where a connect is decided and handed to the thread that runs it: a connect
// carrying it does nothing once close has been called after it was taken, so a
// connect that was on its way when its window closed never logs in.
struct ConnectTicket {
    std::uint64_t closes = 0;
};

class FtpClient {
  public:
    FtpClient();
    ~FtpClient();  // runs close
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    void set_timeouts(const FtpTimeouts& timeouts);
    // Where each server's TLS trust is looked up and recorded. Without one the client
    // remembers for its own lifetime only.
    void set_trust_store(TrustStore store);
    // Who is asked before plain FTP or a new pin; without it both are refused. The
    // questions are asked while the connect holds the client, so close waits for their
    // answers: whoever closes must first make a waiting question give up.
    void set_trust_consent(TrustConsent consent);
    // A file of certificate authorities to trust instead of the system's.
    void set_certificate_authorities(const std::string& file);

    bool is_connected();
    // Logs in once; later operations reuse this control connection. A connection already
    // open is closed first. Port 0 means 21; a user left out means "anonymous". A failure
    // carries its reason (ftp/failure_reason.h): the TLS refusals among them tell the
    // caller whether the user declined a question or the server's trust broke.
    platform::Status connect(const std::string& server, const std::optional<std::string>& user = std::nullopt,
                             const std::string& password = "", int port = 21, bool passive = false);
    ConnectTicket take_connect_ticket() const;
    platform::Status connect(const ConnectTicket& ticket, const std::string& server, const std::string& user,
                             const std::string& password, int port, bool passive);
    // False when nothing was open. Returns within about a second even when the server
    // stopped answering: a running operation gives up, and QUIT is not waited for longer.
    bool close();

    // Paths are taken against the login directory when relative.
    bool make_directory(const std::string& remote_path);
    bool delete_file(const std::string& remote_path);
    bool rename_file(const std::string& old_path, const std::string& new_path);
    // Binary unless text_mode; the data goes to a private temporary beside the local file,
    // which replaces it only once the whole file arrived. A failure carries its reason.
    platform::Status download_file(const std::string& remote_file, const std::string& local_file,
                                   bool text_mode = false);
    // Transfer type 0 or 2 is binary, 1 is text. Replaces the server's file.
    platform::Status upload_file(const std::string& local_file, const std::string& remote_file,
                                 int transfer_type = kTransferBinary);
    // Whether the path's last component is among the directories its parent lists (the
    // parent as the server resolves path + "/.."). With case_sensitive false, letter case
    // is ignored when names are compared.
    bool directory_exists(const std::string& remote_path, bool case_sensitive);

    struct Impl;

  private:
    std::mutex mutex_;
    std::atomic<bool> cancel_requested_{false};
    std::atomic<std::uint64_t> closes_{0};
    std::unique_ptr<Impl> impl_;  // guarded by mutex_
};

}  // namespace quillet::ftp
