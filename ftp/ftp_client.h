// One FTP connection with whole-file transfers, directory operations, listings and
// lookups. Remote paths are GBK bytes and reach the server as they are; a relative path
// is taken against the current directory that ChangeDirectory set (at first the login
// directory), so nothing depends on where the server's own current directory happens to
// be. Every operation returns its failure value, without any traffic, when not connected.
//
// Connections use explicit TLS (AUTH TLS, protected data channel), checked as
// ftp/server_trust.h describes. Credentials cross an unprotected connection only to a
// server that offers no TLS and that the user agreed to use in plain FTP; a certificate
// no authority vouches for is used only once the user agreed to pin it.
//
// Thread-safe: the window thread and transfer threads share the one program-wide client.
// Every operation holds mutex_ for its whole run, so operations never interleave on the
// connection. Close() first asks a running operation to give up (it notices within about
// a second), so closing never waits for a long transfer; closes_ counts the Close calls
// for the connect tickets. Not copyable: copies would share one connection with no owner.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ftp/server_trust.h"

namespace quillet::ftp {

inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeNormal = 0x80;
inline constexpr std::uint32_t kDefaultListFilter = 0x37;
// Returned where a time is not found: 1 January 100, the smallest date-time value.
inline constexpr double kNoModifiedTime = -657434.0;
inline constexpr int kTransferAscii = 1;
inline constexpr int kTransferBinary = 2;

// The four parallel outputs of a listing.
struct Listing {
    std::vector<std::string> names;
    std::vector<std::uint32_t> attributes;
    std::vector<std::int64_t> sizes;
    std::vector<double> last_write_times;
};

// How long the client waits. A dead server is given up after connect_ms; a transfer or a
// reply that makes no progress for stall_seconds fails.
struct FtpTimeouts {
    long connect_ms = 15000;
    long stall_seconds = 30;
};

// Taken where a connect is decided and handed to the thread that runs it: a Connect
// carrying it does nothing once Close has been called after it was taken, so a
// connect that was on its way when its window closed never logs in.
struct ConnectTicket {
    std::uint64_t closes = 0;
};

// Why the last Connect failed, where the server's TLS was the reason.
enum class ConnectRefusal {
    kNone,              // connected, or failed for another reason (address, password, ...)
    kPlainDeclined,     // the server offers no TLS and plain FTP was not agreed to
    kPinDeclined,       // no authority vouches for the certificate and it was not agreed to
    kHostNameMismatch,  // an authority vouches for the certificate, but for another name
    kTrustBroken,       // the server no longer matches the TLS or certificate remembered for it
};

// Receives bytes so far, bytes per millisecond and percent done.
using ProgressCallback = std::function<void(std::int64_t& bytes_so_far, std::int64_t speed, int percent)>;

class FtpClient {
  public:
    FtpClient();
    ~FtpClient();  // runs Close
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    void SetTimeouts(const FtpTimeouts& timeouts);
    // Where each server's TLS trust is looked up and recorded. Without one the client
    // remembers for its own lifetime only.
    void SetTrustStore(TrustStore store);
    // Who is asked before plain FTP or a new pin; without it both are refused. The
    // questions are asked while the connect holds the client, so Close waits for their
    // answers: whoever closes must first make a waiting question give up.
    void SetTrustConsent(TrustConsent consent);
    // A file of certificate authorities to trust instead of the system's (tests).
    void SetCertificateAuthorities(const std::string& file);

    bool IsConnected();
    // Logs in once; later operations reuse this control connection. A connection already
    // open is closed first. Port 0 means 21; a user left out means "anonymous".
    bool Connect(const std::string& server, const std::optional<std::string>& user = std::nullopt,
                 const std::string& password = "", int port = 21, bool passive = false);
    ConnectTicket TakeConnectTicket() const;
    bool Connect(const ConnectTicket& ticket, const std::string& server, const std::string& user,
                 const std::string& password, int port, bool passive);
    ConnectRefusal LastConnectRefusal();
    // False when nothing was open. Returns within about a second even when the server
    // stopped answering: a running operation gives up, and QUIT is not waited for longer.
    bool Close();

    bool MakeDirectory(const std::string& remote_path);
    bool DeleteDirectory(const std::string& remote_path);
    // Creates the local directory (every missing level), then downloads the remote
    // directory's files and subdirectories into it; paths that failed are appended to
    // `failed_paths`.
    bool DownloadDirectory(const std::string& remote_directory, const std::string& local_directory,
                           bool text_mode = false, std::vector<std::string>* failed_paths = nullptr);
    bool UploadDirectory(const std::string& local_directory, const std::string& remote_directory,
                         int transfer_type = kTransferBinary);
    // Entries of a directory, or of the entries matching a pattern whose last component
    // may hold * and ?; names starting with "." are left out. Keeps an entry when its
    // attributes AND (filter + 0x80) are not 0. Returns the number kept.
    int List(const std::string& pattern = "*.*", std::uint32_t filter = kDefaultListFilter, Listing* out = nullptr);
    bool ChangeDirectory(const std::string& remote_path);
    std::string CurrentDirectory();
    bool DeleteRemoteFile(const std::string& remote_path);
    bool RenameRemoteFile(const std::string& old_path, const std::string& new_path);
    // Binary unless text_mode; replaces the local file only once the whole file arrived.
    bool DownloadFile(const std::string& remote_file, const std::string& local_file, bool text_mode = false);
    // Transfer type 0 or 2 is binary, 1 is text. Replaces the server's file.
    bool UploadFile(const std::string& local_file, const std::string& remote_file, int transfer_type = kTransferBinary);
    std::int64_t RemoteFileSize(const std::string& remote_file);
    std::int64_t RemoteDirectorySize(const std::string& remote_directory);
    // Lookups of the entry named by the path. With case_sensitive false, letter case is
    // ignored when names are compared.
    std::int32_t GetAttributes(const std::string& remote_path, bool case_sensitive);  // -1 when missing
    double GetModifiedTime(const std::string& remote_path, bool case_sensitive);      // kNoModifiedTime
    bool FileExists(const std::string& remote_path, bool case_sensitive);
    // Lookups among the directories of the path's parent, which the server resolves.
    std::uint32_t GetEntryAttributes(const std::string& remote_path, bool case_sensitive);  // 0 when missing
    double GetEntryModifiedTime(const std::string& remote_path, bool case_sensitive);       // 0.0 when missing
    bool DirectoryExists(const std::string& remote_path, bool case_sensitive);
    // The local file ends up holding exactly the downloaded bytes; data arrives in
    // 2048-byte blocks, each reported to `progress`.
    bool DownloadWithProgress(const std::string& remote_file, const std::string& local_file,
                              const ProgressCallback& progress = {});

    // Helpers that need no connection.
    static double FileTimeToDateTime(std::uint64_t file_time);              // 0 when out of range
    static std::string BufferToText(const char* buffer, std::size_t size);  // up to the first NUL
    static std::string TrimSeparators(const std::string& text);             // "\" and "/" at both ends

    struct Impl;

  private:
    std::mutex mutex_;
    std::atomic<bool> cancel_requested_{false};
    std::atomic<std::uint64_t> closes_{0};
    std::unique_ptr<Impl> impl_;  // guarded by mutex_
};

}  // namespace quillet::ftp
