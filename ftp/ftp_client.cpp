// The client on libcurl. One easy handle carries every request; libcurl keeps the logged-in
// control connection in it between requests, so one connect means one login however many
// operations follow (it logs in again only when the server dropped the connection).
//
// Here is how the requests are shaped:
// - The file method is "no CWD" and every path is made absolute before it goes out, so
//   libcurl sends "RETR /dir/file" as is and never walks directories.
// - Commands without a transfer (MKD, DELE, RNFR/RNTO) are quote commands
//   of a body-less request, each prefixed with "*": a refused command must not make
//   libcurl drop the connection. Their success is read from the server's reply codes,
//   which the header callback collects.
// - Listings are a custom "MLSD <dir>" (or "LIST <dir>" on servers without MLSD) on the
//   root URL, so the directory argument reaches the server exactly as built here; the
//   server resolves ".." in it.
// - A failed login keeps what libcurl saw (its result, the last reply code, the socket
//   error and its error buffer) for the reason the caller shows.
#include "ftp/ftp_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>

#include "ftp/brief_quit.h"
#include "ftp/certificate_check.h"
#include "ftp/failure_reason.h"
#include "ftp/listing_parser.h"
#include "ftp/remote_path.h"
#include "platform/certificate_authorities.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/secret_text.h"

namespace quillet::ftp {
namespace {

struct Reply {
    int code = 0;
    std::string text;
};

// A listing larger than this is refused rather than held: a hostile server could
// otherwise send one without end.
constexpr std::size_t kMaxListingBytes = 4 * 1024 * 1024;
// ListedEntry::attributes of a directory.
constexpr std::uint32_t kDirectoryAttribute = 0x10;

bool positive(const Reply& reply) { return reply.code >= 200 && reply.code < 300; }

std::string url_encode_path(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

// A line break in a path would end the command and start another on the control
// connection; such paths are refused.
bool safe_argument(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

bool valid_host(const std::string& host) {
    if (host.empty()) return false;
    return host.find_first_of(" \t\r\n/\\@?#%;=") == std::string::npos;
}

// Names under the reserved "invalid" domain never resolve; they are answered here
// without asking a resolver that might be slow or far away.
bool reserved_invalid_name(std::string host) {
    if (!host.empty() && host.back() == '.') host.pop_back();
    constexpr std::string_view kSuffix = ".invalid";
    if (host.size() < kSuffix.size()) return false;
    std::string tail = host.substr(host.size() - kSuffix.size());
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == kSuffix;
}

size_t collect_header(char* data, size_t size, size_t count, void* user) {
    auto* replies = static_cast<std::vector<Reply>*>(user);
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
        std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2])) &&
        (line.size() == 3 || line[3] == ' ')) {
        replies->push_back({std::stoi(line.substr(0, 3)), line.size() > 4 ? line.substr(4) : std::string()});
    }
    return size * count;
}

// Returning less than was offered ends the transfer with a write error.
size_t collect_listing(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    if (body->size() + size * count > kMaxListingBytes) return 0;
    body->append(data, size * count);
    return size * count;
}

int check_cancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<std::atomic<bool>*>(user)->load() ? 1 : 0;
}

struct FileSink {
    platform::File* file;
    std::int64_t written = 0;
};

size_t write_to_file(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<FileSink*>(user);
    const size_t length = size * count;
    if (sink->file->write_at(sink->written, data, length) != platform::FileError::kNone) return 0;
    sink->written += static_cast<std::int64_t>(length);
    return length;
}

struct FileSource {
    platform::File* file;
    std::int64_t offset = 0;
};

size_t read_from_file(char* buffer, size_t size, size_t count, void* user) {
    auto* source = static_cast<FileSource*>(user);
    std::size_t read = 0;
    if (source->file->read_at(source->offset, buffer, size * count, &read) != platform::FileError::kNone) {
        return CURL_READFUNC_ABORT;
    }
    source->offset += static_cast<std::int64_t>(read);
    return read;
}

void initialise_curl_once() {
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
}

}  // namespace

struct FtpClient::Impl {
    explicit Impl(std::atomic<bool>* cancel_flag) : cancel(cancel_flag) {
        trust_store.recall = [this](const std::string& key) {
            const auto found = remembered.find(key);
            return found == remembered.end() ? ServerTrust{} : found->second;
        };
        trust_store.remember = [this](const std::string& key, const ServerTrust& trust) { remembered[key] = trust; };
    }
    ~Impl() { close(); }

    std::atomic<bool>* cancel;
    FtpTimeouts timeouts;
    CURL* curl = nullptr;  // non-null exactly while connected
    std::string base_url;  // "ftp://host:port"
    std::string user, password;
    bool passive = false;
    std::string current_directory = "/";
    bool mlsd_refused = false;
    std::vector<Reply> replies;  // of the last request
    TrustStore trust_store;
    TrustList remembered;          // the trust store when no other is set
    std::string authorities_file;  // empty: the system's
    TrustConsent consent;
    // The TLS policy of the current connection: none (plain FTP agreed to) or required,
    // and how its certificate is checked.
    long use_ssl = CURLUSESSL_ALL;
    std::unique_ptr<CertificateCheck> check;
    char error_text[CURL_ERROR_SIZE] = {};  // libcurl's reason for the last failed request
    CURLcode last_result = CURLE_OK;        // of the last login attempt
    CurlFailure login_failure;              // what libcurl saw of the last failed login

    bool connected() const { return curl != nullptr; }

    // Resets the handle to the options every request shares; the connection stays.
    void prepare(const std::string& path) {
        curl_easy_reset(curl);
        replies.clear();
        error_text[0] = '\0';
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_text);
        curl_easy_setopt(curl, CURLOPT_URL, (base_url + "/" + url_encode_path(path)).c_str());
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        curl_easy_setopt(curl, CURLOPT_FTPPORT, passive ? nullptr : "-");
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        // A name lookup that hangs must not hold up closing: its thread is left behind.
        curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connect_ms);
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeouts.stall_seconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeouts.stall_seconds);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collect_header);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &replies);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, check_cancel);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, cancel);
        curl_easy_setopt(curl, CURLOPT_USE_SSL, use_ssl);
        curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        const std::string authorities =
            authorities_file.empty() ? platform::system_certificate_authorities_file() : authorities_file;
        if (!authorities.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, authorities.c_str());
        if (check) check->install(curl);
    }

    // One login attempt under the given TLS policy; on failure the handle is gone.
    bool log_in(long ssl_policy, std::unique_ptr<CertificateCheck> certificate_check) {
        if (curl == nullptr) curl = curl_easy_init();
        if (curl == nullptr) return false;
        use_ssl = ssl_policy;
        check = std::move(certificate_check);
        prepare("");
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        last_result = curl_easy_perform(curl);
        if (last_result == CURLE_OK) return true;
        login_failure = seen_failure(last_result);
        curl_easy_cleanup(curl);  // nothing usable is open, so there is nothing to QUIT
        curl = nullptr;
        return false;
    }

    // Why the last login attempt failed, in the user's words.
    platform::Status login_refused() const { return failure_reason(login_failure); }

    CurlFailure seen_failure(CURLcode result) const {
        CurlFailure failed{result, replies.empty() ? 0 : replies.back().code, 0, error_text};
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &failed.os_error);
        return failed;
    }

    // Runs the prepared request; its reason when it failed.
    platform::Status perform() {
        const CURLcode result = curl_easy_perform(curl);
        return result == CURLE_OK ? platform::Status() : failure_reason(seen_failure(result));
    }

    // Learns why an authority check refused the certificate, over a handle of its own set
    // up for the server (the refused login's is gone).
    CertificateCheck::Verdict examine_refusal() {
        curl = curl_easy_init();
        if (curl == nullptr) return CertificateCheck::Verdict::kUnknown;
        prepare("");
        const CertificateCheck::Verdict verdict = check->examine_refusal(curl);
        curl_easy_cleanup(curl);
        curl = nullptr;
        return verdict;
    }

    // Logs in under what is known of the server. TLS is always tried first and required
    // on a server once seen with it (with its authority-vouched or pinned certificate).
    // Plain FTP and a first pin each need the user's consent, asked only after the
    // refused attempt has ended, so nothing of the user's went out before the answer.
    platform::Status secure_log_in(const std::string& host, int port) {
        using Kind = ServerTrust::Kind;
        const std::string key = server_key(host, port);
        const std::string shown_server = host + ":" + std::to_string(port == 0 ? 21 : port);
        const ServerTrust known = trust_store.recall ? trust_store.recall(key) : ServerTrust{};
        if (known.kind == Kind::kPinned || known.kind == Kind::kAuthority) {
            const bool pinned = known.kind == Kind::kPinned;
            auto remembered_check = pinned ? std::make_unique<CertificateCheck>(CertificateCheck::Mode::kPinned,
                                                                                known.fingerprint, known.public_key)
                                           : std::make_unique<CertificateCheck>(CertificateCheck::Mode::kAuthority);
            const CertificateCheck* seen = remembered_check.get();
            if (log_in(CURLUSESSL_ALL, std::move(remembered_check))) {
                // A pin from before public keys were kept gains its key once a connect saw it.
                if (pinned && known.public_key.empty() && !seen->seen_public_key().empty()) {
                    remember(key, {Kind::kPinned, known.fingerprint, seen->seen_public_key()});
                }
                return {};
            }
            if (!refused_by_tls()) return login_refused();
            const bool other_certificate =
                last_result == CURLE_PEER_FAILED_VERIFICATION || last_result == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
            return failure(pinned && other_certificate ? kCertificateChanged : kTrustBroken);
        }
        if (log_in(CURLUSESSL_ALL, std::make_unique<CertificateCheck>(CertificateCheck::Mode::kAuthority))) {
            remember(key, {Kind::kAuthority, {}, {}});
            return {};
        }
        if (last_result == CURLE_USE_SSL_FAILED) {  // AUTH refused: no TLS on offer
            if (known.kind != Kind::kPlainAgreed) {
                if (!consent.allow_plain || !consent.allow_plain(shown_server)) return failure(kPlainDeclined);
                remember(key, {Kind::kPlainAgreed, {}, {}});
            }
            return log_in(CURLUSESSL_NONE, nullptr) ? platform::Status() : login_refused();
        }
        if (last_result != CURLE_PEER_FAILED_VERIFICATION) return login_refused();
        const platform::Status refused = login_refused();
        const CertificateCheck::Verdict verdict = examine_refusal();
        if (verdict == CertificateCheck::Verdict::kVouched) return failure(kHostNameMismatch);
        if (verdict != CertificateCheck::Verdict::kUnvouched) return refused;
        const std::string fingerprint = check->seen_fingerprint();
        const std::string public_key = check->seen_public_key();
        if (!consent.allow_pin || !consent.allow_pin(shown_server, grouped_fingerprint(fingerprint))) {
            return failure(kPinDeclined);
        }
        // The login must meet the very certificate the user agreed to.
        if (!log_in(CURLUSESSL_ALL,
                    std::make_unique<CertificateCheck>(CertificateCheck::Mode::kPinned, fingerprint, public_key))) {
            return login_refused();
        }
        remember(key, {Kind::kPinned, fingerprint, public_key});
        return {};
    }

    // The last login failed in its TLS: no TLS on offer, or a certificate or key refused.
    bool refused_by_tls() const {
        return last_result == CURLE_USE_SSL_FAILED || last_result == CURLE_PEER_FAILED_VERIFICATION ||
               last_result == CURLE_SSL_PINNEDPUBKEYNOTMATCH || last_result == CURLE_SSL_CONNECT_ERROR;
    }

    void remember(const std::string& key, const ServerTrust& trust) {
        if (trust_store.remember) trust_store.remember(key, trust);
    }

    platform::Status connect(const std::string& server, const std::string& user_name, const std::string& pass, int port,
                             bool passive_mode) {
        close();
        if (!valid_host(server) || port < 0 || port > 65535 || !safe_argument(user_name) || !safe_argument(pass)) {
            return failure(kBadAddress);
        }
        if (reserved_invalid_name(server)) return failure(kHostNotFound);
        initialise_curl_once();
        const bool ipv6 = server.find(':') != std::string::npos;
        base_url = "ftp://" + (ipv6 ? "[" + server + "]" : server) + ":" + std::to_string(port == 0 ? 21 : port);
        user = user_name;
        password = pass;
        passive = passive_mode;
        mlsd_refused = false;
        platform::Status status = secure_log_in(server, port);
        if (!status.ok()) return status;
        char* entry_path = nullptr;
        curl_easy_getinfo(curl, CURLINFO_FTP_ENTRY_PATH, &entry_path);
        current_directory = entry_path != nullptr && entry_path[0] == '/' ? entry_path : "/";
        return status;
    }

    bool close() {
        platform::wipe_secret(password);
        if (curl == nullptr) return false;
        prepare("");
        quit_briefly(curl);
        curl_easy_cleanup(curl);
        curl = nullptr;
        return true;
    }

    std::string absolute(const std::string& path) const { return absolute_path(current_directory, path); }

    // Runs commands one after another; the replies to them, or nothing when the request
    // itself failed.
    std::optional<std::vector<Reply>> quote(const std::vector<std::string>& commands) {
        if (!connected()) return std::nullopt;
        curl_slist* list = nullptr;
        for (const std::string& command : commands) {
            if (!safe_argument(command)) {
                curl_slist_free_all(list);
                return std::nullopt;
            }
            list = curl_slist_append(list, ("*" + command).c_str());
        }
        prepare("");
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(curl, CURLOPT_QUOTE, list);
        const CURLcode result = curl_easy_perform(curl);
        curl_slist_free_all(list);
        // Nothing follows the quote commands in a body-less request, so the last replies
        // are theirs (a fresh login's replies come before them).
        if (result != CURLE_OK || replies.size() < commands.size()) return std::nullopt;
        return std::vector<Reply>(replies.end() - static_cast<std::ptrdiff_t>(commands.size()), replies.end());
    }

    bool simple_command(const std::string& verb, const std::string& path) {
        const auto result = quote({verb + " " + absolute(path)});
        return result && positive((*result)[0]);
    }

    // The entries of one directory as the server lists it, "." and ".." included where
    // the server sends them; nothing when the listing failed.
    std::optional<std::vector<ListedEntry>> list_directory(const std::string& directory) {
        if (!connected() || !safe_argument(directory)) return std::nullopt;
        if (!mlsd_refused) {
            std::string body;
            if (fetch_listing("MLSD " + directory, &body)) return parse_mlsd(body);
            const bool unknown_command = !replies.empty() && (replies.back().code == 500 || replies.back().code == 502);
            if (!unknown_command) return std::nullopt;
            mlsd_refused = true;
        }
        std::string body;
        if (!fetch_listing("LIST " + directory, &body)) return std::nullopt;
        return parse_list(body, platform::clock().local_time());
    }

    bool fetch_listing(const std::string& command, std::string* body) {
        prepare("");
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect_listing);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, body);
        return curl_easy_perform(curl) == CURLE_OK;
    }

    // The directory named by the path's last component among the directories its parent
    // lists; the parent is the server's reading of path + "/..".
    std::optional<ListedEntry> find_in_parent(const std::string& remote_path, bool case_sensitive) {
        if (!connected()) return std::nullopt;
        const std::string sought = trim_separators(final_component(remote_path));
        const auto entries = list_directory(absolute(remote_path + "/.."));
        if (!entries || sought.empty()) return std::nullopt;
        for (const ListedEntry& entry : *entries) {
            if ((entry.attributes & kDirectoryAttribute) && entry.name[0] != '.' &&
                names_equal(entry.name, sought, case_sensitive)) {
                return entry;
            }
        }
        return std::nullopt;
    }

    platform::Status download_file(const std::string& remote, const std::string& local, bool text_mode) {
        if (!connected()) return failure(kNotConnected);
        // The local file is replaced only by a complete download.
        std::string partial;
        platform::Status status;
        {
            platform::File file;
            if (platform::create_private_temporary(local + ".part", &file, &partial, platform::Share::kReadWrite) !=
                platform::FileError::kNone) {
                return failure(kLocalFileError);
            }
            FileSink sink{&file, 0};
            status = transfer_to(remote, &sink, text_mode);
            if (status.ok() && file.sync() != platform::FileError::kNone) status = failure(kLocalFileError);
        }
        if (status.ok() && !platform::replace_file(partial, local)) status = failure(kLocalFileError);
        if (!status.ok()) platform::remove_file(partial);
        return status;
    }

    platform::Status transfer_to(const std::string& remote, FileSink* sink, bool text_mode) {
        const std::string path = absolute(remote);
        if (!safe_argument(path)) return failure(kBadPath);
        prepare(path);
        curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, text_mode ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write_to_file);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, sink);
        return perform();
    }

    platform::Status upload_file(const std::string& local, const std::string& remote, int transfer_type) {
        if (!connected()) return failure(kNotConnected);
        const std::string path = absolute(remote);
        if (!safe_argument(path)) return failure(kBadPath);
        platform::File file;
        std::int64_t length = 0;
        if (file.open(local, platform::Access::kRead, platform::Share::kReadWrite) != platform::FileError::kNone ||
            file.length(&length) != platform::FileError::kNone) {
            return failure(kLocalFileError);
        }
        FileSource source{&file};
        prepare(path);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(length));
        curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, transfer_type == kTransferAscii ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_from_file);
        curl_easy_setopt(curl, CURLOPT_READDATA, &source);
        return perform();
    }
};

FtpClient::FtpClient() : impl_(std::make_unique<Impl>(&cancel_requested_)) {}

FtpClient::~FtpClient() { close(); }

void FtpClient::set_timeouts(const FtpTimeouts& timeouts) {
    std::lock_guard lock(mutex_);
    impl_->timeouts = timeouts;
}

void FtpClient::set_trust_store(TrustStore store) {
    std::lock_guard lock(mutex_);
    impl_->trust_store = std::move(store);
}

void FtpClient::set_trust_consent(TrustConsent consent) {
    std::lock_guard lock(mutex_);
    impl_->consent = std::move(consent);
}

void FtpClient::set_certificate_authorities(const std::string& file) {
    std::lock_guard lock(mutex_);
    impl_->authorities_file = file;
}

bool FtpClient::is_connected() {
    std::lock_guard lock(mutex_);
    return impl_->connected();
}

platform::Status FtpClient::connect(const std::string& server, const std::optional<std::string>& user,
                                    const std::string& password, int port, bool passive) {
    std::lock_guard lock(mutex_);
    return impl_->connect(server, user.value_or("anonymous"), password, port, passive);
}

ConnectTicket FtpClient::take_connect_ticket() const { return {closes_.load()}; }

platform::Status FtpClient::connect(const ConnectTicket& ticket, const std::string& server, const std::string& user,
                                    const std::string& password, int port, bool passive) {
    std::lock_guard lock(mutex_);
    if (closes_.load() != ticket.closes) return failure(kCancelled);
    return impl_->connect(server, user, password, port, passive);
}

bool FtpClient::close() {
    // A running operation sees the request at its next progress check and gives up; a
    // connect whose ticket is older than this close is refused.
    ++closes_;
    cancel_requested_ = true;
    std::lock_guard lock(mutex_);
    cancel_requested_ = false;
    return impl_->close();
}

bool FtpClient::make_directory(const std::string& remote_path) {
    std::lock_guard lock(mutex_);
    return impl_->simple_command("MKD", remote_path);
}

bool FtpClient::delete_file(const std::string& remote_path) {
    std::lock_guard lock(mutex_);
    return impl_->simple_command("DELE", remote_path);
}

bool FtpClient::rename_file(const std::string& old_path, const std::string& new_path) {
    std::lock_guard lock(mutex_);
    const auto result = impl_->quote({"RNFR " + impl_->absolute(old_path), "RNTO " + impl_->absolute(new_path)});
    return result && (*result)[0].code == 350 && positive((*result)[1]);
}

platform::Status FtpClient::download_file(const std::string& remote_file, const std::string& local_file,
                                          bool text_mode) {
    std::lock_guard lock(mutex_);
    return impl_->download_file(remote_file, local_file, text_mode);
}

platform::Status FtpClient::upload_file(const std::string& local_file, const std::string& remote_file,
                                        int transfer_type) {
    std::lock_guard lock(mutex_);
    return impl_->upload_file(local_file, remote_file, transfer_type);
}

bool FtpClient::directory_exists(const std::string& remote_path, bool case_sensitive) {
    std::lock_guard lock(mutex_);
    return impl_->find_in_parent(remote_path, case_sensitive).has_value();
}

}  // namespace quillet::ftp
