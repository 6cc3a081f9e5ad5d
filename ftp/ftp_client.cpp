// The client on libcurl. One easy handle carries every request; libcurl keeps the logged-in
// control connection in it between requests, so one Connect means one login however many
// operations follow (it logs in again only when the server dropped the connection).
//
// Here is how the requests are shaped:
// - The file method is "no CWD" and every path is made absolute before it goes out, so
//   libcurl sends "RETR /dir/file" as is and never walks directories.
// - Commands without a transfer (MKD, RMD, DELE, RNFR/RNTO, CWD, SIZE) are quote commands
//   of a body-less request, each prefixed with "*": a refused command must not make
//   libcurl drop the connection. Their success is read from the server's reply codes,
//   which the header callback collects.
// - Listings are a custom "MLSD <dir>" (or "LIST <dir>" on servers without MLSD) on the
//   root URL, so the directory argument reaches the server exactly as built here; the
//   server resolves ".." in it. The last component of a pattern is matched here.
#include "ftp/ftp_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "ftp/brief_quit.h"
#include "ftp/certificate_check.h"
#include "ftp/listing_parser.h"
#include "ftp/remote_path.h"
#include "platform/certificate_authorities.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/file.h"
#include "platform/secret_text.h"
#include "platform/text_codec.h"

namespace quillet::ftp {
namespace {

struct Reply {
    int code = 0;
    std::string text;
};

// A listing larger than this is refused rather than held: a hostile server could
// otherwise send one without end.
constexpr std::size_t kMaxListingBytes = 4 * 1024 * 1024;
// Directory trees deeper than this are not walked: a server can list a directory
// inside itself for ever, and a local tree can loop through links.
constexpr int kMaxTreeDepth = 16;

// A name a server lists that may be joined onto a local directory: one plain
// component, never a way out of it. A 0x5C byte that ends a double-byte GBK character
// is part of that character, not a separator.
bool plain_local_name(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < name.size()) {
            ++i;
        } else if (c == '/' || c == '\\' || c == '\0') {
            return false;
        }
    }
    return true;
}

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

// The quoted directory of a "257" reply; "" inside the quotes stands for one quote.
std::string quoted_directory(const std::string& text) {
    const std::size_t open = text.find('"');
    if (open == std::string::npos) return {};
    std::string result;
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] != '"') {
            result += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
            result += '"';
            ++i;
        } else {
            return result;
        }
    }
    return {};
}

void create_local_levels(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '/') platform::create_directory(path.substr(0, i));
    }
    platform::create_directory(path);
}

// Names of the files and of the subdirectories of a local directory, sorted.
bool list_local_directory(const std::string& directory, std::vector<std::string>* files,
                          std::vector<std::string>* directories) {
    std::error_code error;
    std::filesystem::directory_iterator it(std::filesystem::path(platform::gbk_to_utf8(directory)), error);
    if (error) return false;
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (error) return false;
        const std::string name = platform::utf8_to_gbk(it->path().filename().string());
        (it->is_directory(error) ? directories : files)->push_back(name);
    }
    std::sort(files->begin(), files->end());
    std::sort(directories->begin(), directories->end());
    return true;
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
    std::function<void(std::int64_t)> after_write;
};

size_t write_to_file(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<FileSink*>(user);
    const size_t length = size * count;
    if (sink->file->write_at(sink->written, data, length) != platform::FileError::kNone) return 0;
    sink->written += static_cast<std::int64_t>(length);
    if (sink->after_write) sink->after_write(sink->written);
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
    CURLcode last_result = CURLE_OK;                 // of the last login attempt
    ConnectRefusal refusal = ConnectRefusal::kNone;  // of the last connect

    bool connected() const { return curl != nullptr; }

    // Resets the handle to the options every request shares; the connection stays.
    void prepare(const std::string& path) {
        curl_easy_reset(curl);
        replies.clear();
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
        curl_easy_cleanup(curl);  // nothing usable is open, so there is nothing to QUIT
        curl = nullptr;
        return false;
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
    bool secure_log_in(const std::string& host, int port) {
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
                return true;
            }
            if (refused_by_tls()) refusal = ConnectRefusal::kTrustBroken;
            return false;
        }
        if (log_in(CURLUSESSL_ALL, std::make_unique<CertificateCheck>(CertificateCheck::Mode::kAuthority))) {
            remember(key, {Kind::kAuthority, {}, {}});
            return true;
        }
        if (last_result == CURLE_USE_SSL_FAILED) {  // AUTH refused: no TLS on offer
            if (known.kind != Kind::kPlainAgreed) {
                if (!consent.allow_plain || !consent.allow_plain(shown_server)) {
                    refusal = ConnectRefusal::kPlainDeclined;
                    return false;
                }
                remember(key, {Kind::kPlainAgreed, {}, {}});
            }
            return log_in(CURLUSESSL_NONE, nullptr);
        }
        if (last_result != CURLE_PEER_FAILED_VERIFICATION) return false;
        const CertificateCheck::Verdict verdict = examine_refusal();
        if (verdict == CertificateCheck::Verdict::kVouched) refusal = ConnectRefusal::kHostNameMismatch;
        if (verdict != CertificateCheck::Verdict::kUnvouched) return false;
        const std::string fingerprint = check->seen_fingerprint();
        const std::string public_key = check->seen_public_key();
        if (!consent.allow_pin || !consent.allow_pin(shown_server, grouped_fingerprint(fingerprint))) {
            refusal = ConnectRefusal::kPinDeclined;
            return false;
        }
        // The login must meet the very certificate the user agreed to.
        if (!log_in(CURLUSESSL_ALL,
                    std::make_unique<CertificateCheck>(CertificateCheck::Mode::kPinned, fingerprint, public_key))) {
            return false;
        }
        remember(key, {Kind::kPinned, fingerprint, public_key});
        return true;
    }

    // The last login failed in its TLS: no TLS on offer, or a certificate or key refused.
    bool refused_by_tls() const {
        return last_result == CURLE_USE_SSL_FAILED || last_result == CURLE_PEER_FAILED_VERIFICATION ||
               last_result == CURLE_SSL_PINNEDPUBKEYNOTMATCH || last_result == CURLE_SSL_CONNECT_ERROR;
    }

    void remember(const std::string& key, const ServerTrust& trust) {
        if (trust_store.remember) trust_store.remember(key, trust);
    }

    bool connect(const std::string& server, const std::string& user_name, const std::string& pass, int port,
                 bool passive_mode) {
        close();
        refusal = ConnectRefusal::kNone;
        if (!valid_host(server) || port < 0 || port > 65535 || !safe_argument(user_name) || !safe_argument(pass)) {
            return false;
        }
        initialise_curl_once();
        const bool ipv6 = server.find(':') != std::string::npos;
        base_url = "ftp://" + (ipv6 ? "[" + server + "]" : server) + ":" + std::to_string(port == 0 ? 21 : port);
        user = user_name;
        password = pass;
        passive = passive_mode;
        mlsd_refused = false;
        if (!secure_log_in(server, port)) return false;
        char* entry_path = nullptr;
        curl_easy_getinfo(curl, CURLINFO_FTP_ENTRY_PATH, &entry_path);
        current_directory = entry_path != nullptr && entry_path[0] == '/' ? entry_path : "/";
        return true;
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

    // Entries named by a path: a directory's entries, the entries of the parent matching
    // a wildcard last component, or the one entry of that name.
    std::optional<std::vector<ListedEntry>> find_entries(const std::string& pattern) {
        const std::string path = absolute(pattern.empty() ? "*.*" : pattern);
        std::string parent, last;
        split_last(path, &parent, &last);
        if (last.empty() || last == "." || last == ".." || parent.empty()) return list_directory(path);
        auto siblings = list_directory(parent);
        if (!siblings) return std::nullopt;
        std::vector<ListedEntry> matched;
        for (const ListedEntry& entry : *siblings) {
            if (entry.name == "." || entry.name == "..") continue;
            if (has_wildcard(last) ? wildcard_match(last, entry.name) : entry.name == last) matched.push_back(entry);
        }
        if (!has_wildcard(last) && matched.size() == 1 && (matched[0].attributes & kAttributeDirectory)) {
            return list_directory(path);
        }
        return matched;
    }

    int list(const std::string& pattern, std::uint32_t filter, Listing* out) {
        if (out != nullptr) *out = Listing();
        const auto entries = find_entries(pattern);
        if (!entries) return 0;
        int kept = 0;
        for (const ListedEntry& entry : *entries) {
            if (entry.name.empty() || entry.name[0] == '.' || (entry.attributes & (filter + 0x80)) == 0) continue;
            ++kept;
            if (out == nullptr) continue;
            out->names.push_back(entry.name);
            out->attributes.push_back(entry.attributes);
            out->sizes.push_back(entry.size);
            out->last_write_times.push_back(entry.last_write_time);
        }
        return kept;
    }

    // The entry the path itself names, found in its parent's listing.
    std::optional<ListedEntry> find_entry(const std::string& remote_path, bool case_sensitive) {
        if (!connected()) return std::nullopt;
        std::string path = absolute(remote_path);
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        std::string parent, last;
        split_last(path, &parent, &last);
        if (last.empty() || parent.empty()) return std::nullopt;
        const auto siblings = list_directory(parent);
        if (!siblings) return std::nullopt;
        for (const ListedEntry& entry : *siblings) {
            if (entry.name == "." || entry.name == "..") continue;
            if (has_wildcard(last) ? wildcard_match(last, entry.name) : names_equal(entry.name, last, case_sensitive)) {
                return entry;
            }
        }
        return std::nullopt;
    }

    // The directory named by the path's last component among the directories its parent
    // lists; the parent is the server's reading of path + "/..".
    std::optional<ListedEntry> find_in_parent(const std::string& remote_path, bool case_sensitive) {
        if (!connected()) return std::nullopt;
        const std::string sought = trim_separators(final_component(remote_path));
        const auto entries = find_entries(remote_path + "/../*");
        if (!entries || sought.empty()) return std::nullopt;
        for (const ListedEntry& entry : *entries) {
            if ((entry.attributes & kAttributeDirectory) && entry.name[0] != '.' &&
                names_equal(entry.name, sought, case_sensitive)) {
                return entry;
            }
        }
        return std::nullopt;
    }

    bool download_file(const std::string& remote, const std::string& local, bool text_mode) {
        if (!connected()) return false;
        // The local file is replaced only by a complete download.
        std::string partial;
        bool ok = false;
        {
            platform::File file;
            if (platform::create_private_temporary(local + ".part", &file, &partial, platform::Share::kReadWrite) !=
                platform::FileError::kNone) {
                return false;
            }
            FileSink sink{&file, 0, {}};
            ok = transfer_to(remote, &sink, text_mode, 0) && file.sync() == platform::FileError::kNone;
        }
        if (ok) ok = platform::replace_file(partial, local);
        if (!ok) platform::remove_file(partial);
        return ok;
    }

    bool transfer_to(const std::string& remote, FileSink* sink, bool text_mode, long buffer_size) {
        const std::string path = absolute(remote);
        if (!safe_argument(path)) return false;
        prepare(path);
        curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, text_mode ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write_to_file);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, sink);
        if (buffer_size > 0) curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, buffer_size);
        return curl_easy_perform(curl) == CURLE_OK;
    }

    bool upload_file(const std::string& local, const std::string& remote, int transfer_type) {
        if (!connected()) return false;
        const std::string path = absolute(remote);
        if (!safe_argument(path)) return false;
        platform::File file;
        std::int64_t length = 0;
        if (file.open(local, platform::Access::kRead, platform::Share::kReadWrite) != platform::FileError::kNone ||
            file.length(&length) != platform::FileError::kNone) {
            return false;
        }
        FileSource source{&file};
        prepare(path);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(length));
        curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, transfer_type == kTransferAscii ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_from_file);
        curl_easy_setopt(curl, CURLOPT_READDATA, &source);
        return curl_easy_perform(curl) == CURLE_OK;
    }

    std::int64_t remote_file_size(const std::string& remote) {
        // Servers answer SIZE only in binary mode.
        const auto result = quote({"TYPE I", "SIZE " + absolute(remote)});
        if (!result || (*result)[1].code != 213) return 0;
        return std::atoll((*result)[1].text.c_str());
    }

    std::int64_t remote_directory_size(const std::string& directory, int depth = 0) {
        Listing listing;
        if (depth < kMaxTreeDepth) list(directory, kDefaultListFilter, &listing);
        std::int64_t total = 0;
        for (std::size_t i = 0; i < listing.names.size(); ++i) {
            total += (listing.attributes[i] & kAttributeDirectory)
                         ? remote_directory_size(join_remote(directory, listing.names[i]), depth + 1)
                         : listing.sizes[i];
        }
        return total;
    }

    // Names the server lists are refused unless they are one plain component, so that
    // nothing lands outside the local directory; they count as failed paths.
    bool download_directory(const std::string& remote, const std::string& local, bool text_mode,
                            std::vector<std::string>* failed, int depth = 0) {
        if (!platform::is_directory(local)) create_local_levels(local);
        if (!connected() || !platform::is_directory(local)) return false;
        Listing listing;
        list(remote, kDefaultListFilter, &listing);
        for (std::size_t i = 0; i < listing.names.size(); ++i) {
            const std::string remote_path = join_remote(remote, listing.names[i]);
            const std::string local_path = local + "/" + listing.names[i];
            const bool directory = (listing.attributes[i] & kAttributeDirectory) != 0;
            bool ok = false;
            if (plain_local_name(listing.names[i])) {
                ok = directory ? depth + 1 < kMaxTreeDepth &&
                                     download_directory(remote_path, local_path, text_mode, failed, depth + 1)
                               : download_file(remote_path, local_path, text_mode);
            }
            if (!ok && failed != nullptr) failed->push_back(remote_path);
        }
        return true;
    }

    bool upload_directory(const std::string& local, const std::string& remote, int transfer_type, int depth = 0) {
        if (depth >= kMaxTreeDepth) return false;
        if (!find_in_parent(remote, true) && !simple_command("MKD", remote)) return false;
        std::vector<std::string> files, directories;
        if (!connected() || !platform::is_directory(local) || !list_local_directory(local, &files, &directories)) {
            return false;
        }
        for (const std::string& name : files) {
            if (!upload_file(local + "/" + name, join_remote(remote, name), transfer_type)) return false;
        }
        for (const std::string& name : directories) {
            simple_command("MKD", join_remote(remote, name));
            const std::string child = join_remote(remote, name);
            if (!upload_directory(local + "/" + name, child, transfer_type, depth + 1)) return false;
        }
        return true;
    }

    bool change_directory(const std::string& path) {
        const auto result = quote({"CWD " + absolute(path), "PWD"});
        if (!result || !positive((*result)[0])) return false;
        const std::string now = (*result)[1].code == 257 ? quoted_directory((*result)[1].text) : std::string();
        current_directory = now.empty() || now[0] != '/' ? absolute(path) : now;
        return true;
    }

    bool download_with_progress(const std::string& remote, const std::string& local, const ProgressCallback& progress) {
        const std::int64_t total = remote_file_size(remote);
        if (total == 0) return false;
        platform::File file;
        if (file.open(local, platform::Access::kReadWrite, platform::Share::kReadWrite,
                      platform::Creation::kCreateAlways) != platform::FileError::kNone) {
            return false;
        }
        const std::uint32_t start = platform::clock().tick_count_ms();
        FileSink sink{&file, 0, {}};
        sink.after_write = [&](std::int64_t so_far) {
            const std::uint32_t elapsed = platform::clock().tick_count_ms() - start;
            const std::int64_t speed = elapsed > 0 ? so_far / elapsed : 0;
            const int percent = static_cast<int>(so_far * 100 / total);
            std::int64_t reported = so_far;
            if (progress) progress(reported, speed, percent);
        };
        return transfer_to(remote, &sink, false, 2048);
    }
};

FtpClient::FtpClient() : impl_(std::make_unique<Impl>(&cancel_requested_)) {}

FtpClient::~FtpClient() { Close(); }

void FtpClient::SetTimeouts(const FtpTimeouts& timeouts) {
    std::lock_guard lock(mutex_);
    impl_->timeouts = timeouts;
}

void FtpClient::SetTrustStore(TrustStore store) {
    std::lock_guard lock(mutex_);
    impl_->trust_store = std::move(store);
}

void FtpClient::SetTrustConsent(TrustConsent consent) {
    std::lock_guard lock(mutex_);
    impl_->consent = std::move(consent);
}

void FtpClient::SetCertificateAuthorities(const std::string& file) {
    std::lock_guard lock(mutex_);
    impl_->authorities_file = file;
}

bool FtpClient::IsConnected() {
    std::lock_guard lock(mutex_);
    return impl_->connected();
}

bool FtpClient::Connect(const std::string& server, const std::optional<std::string>& user, const std::string& password,
                        int port, bool passive) {
    std::lock_guard lock(mutex_);
    return impl_->connect(server, user.value_or("anonymous"), password, port, passive);
}

ConnectTicket FtpClient::TakeConnectTicket() const { return {closes_.load()}; }

bool FtpClient::Connect(const ConnectTicket& ticket, const std::string& server, const std::string& user,
                        const std::string& password, int port, bool passive) {
    std::lock_guard lock(mutex_);
    if (closes_.load() != ticket.closes) return false;
    return impl_->connect(server, user, password, port, passive);
}

ConnectRefusal FtpClient::LastConnectRefusal() {
    std::lock_guard lock(mutex_);
    return impl_->refusal;
}

bool FtpClient::Close() {
    // A running operation sees the request at its next progress check and gives up; a
    // connect whose ticket is older than this close is refused.
    ++closes_;
    cancel_requested_ = true;
    std::lock_guard lock(mutex_);
    cancel_requested_ = false;
    return impl_->close();
}

bool FtpClient::MakeDirectory(const std::string& remote_path) {
    std::lock_guard lock(mutex_);
    return impl_->simple_command("MKD", remote_path);
}

bool FtpClient::DeleteDirectory(const std::string& remote_path) {
    std::lock_guard lock(mutex_);
    return impl_->simple_command("RMD", remote_path);
}

bool FtpClient::DownloadDirectory(const std::string& remote_directory, const std::string& local_directory,
                                  bool text_mode, std::vector<std::string>* failed_paths) {
    std::lock_guard lock(mutex_);
    return impl_->download_directory(remote_directory, local_directory, text_mode, failed_paths);
}

bool FtpClient::UploadDirectory(const std::string& local_directory, const std::string& remote_directory,
                                int transfer_type) {
    std::lock_guard lock(mutex_);
    if (!impl_->connected()) return false;
    return impl_->upload_directory(local_directory, remote_directory, transfer_type);
}

int FtpClient::List(const std::string& pattern, std::uint32_t filter, Listing* out) {
    std::lock_guard lock(mutex_);
    return impl_->list(pattern, filter, out);
}

bool FtpClient::ChangeDirectory(const std::string& remote_path) {
    std::lock_guard lock(mutex_);
    return impl_->change_directory(remote_path);
}

std::string FtpClient::CurrentDirectory() {
    std::lock_guard lock(mutex_);
    return impl_->connected() ? impl_->current_directory : std::string();
}

bool FtpClient::DeleteRemoteFile(const std::string& remote_path) {
    std::lock_guard lock(mutex_);
    return impl_->simple_command("DELE", remote_path);
}

bool FtpClient::RenameRemoteFile(const std::string& old_path, const std::string& new_path) {
    std::lock_guard lock(mutex_);
    const auto result = impl_->quote({"RNFR " + impl_->absolute(old_path), "RNTO " + impl_->absolute(new_path)});
    return result && (*result)[0].code == 350 && positive((*result)[1]);
}

bool FtpClient::DownloadFile(const std::string& remote_file, const std::string& local_file, bool text_mode) {
    std::lock_guard lock(mutex_);
    return impl_->download_file(remote_file, local_file, text_mode);
}

bool FtpClient::UploadFile(const std::string& local_file, const std::string& remote_file, int transfer_type) {
    std::lock_guard lock(mutex_);
    return impl_->upload_file(local_file, remote_file, transfer_type);
}

std::int64_t FtpClient::RemoteFileSize(const std::string& remote_file) {
    std::lock_guard lock(mutex_);
    return impl_->remote_file_size(remote_file);
}

std::int64_t FtpClient::RemoteDirectorySize(const std::string& remote_directory) {
    std::lock_guard lock(mutex_);
    return impl_->connected() ? impl_->remote_directory_size(remote_directory) : 0;
}

std::int32_t FtpClient::GetAttributes(const std::string& remote_path, bool case_sensitive) {
    std::lock_guard lock(mutex_);
    const auto entry = impl_->find_entry(remote_path, case_sensitive);
    return entry ? static_cast<std::int32_t>(entry->attributes) : -1;
}

double FtpClient::GetModifiedTime(const std::string& remote_path, bool case_sensitive) {
    std::lock_guard lock(mutex_);
    const auto entry = impl_->find_entry(remote_path, case_sensitive);
    return entry ? entry->last_write_time : kNoModifiedTime;
}

bool FtpClient::FileExists(const std::string& remote_path, bool case_sensitive) {
    std::lock_guard lock(mutex_);
    return impl_->find_entry(remote_path, case_sensitive).has_value();
}

std::uint32_t FtpClient::GetEntryAttributes(const std::string& remote_path, bool case_sensitive) {
    std::lock_guard lock(mutex_);
    const auto entry = impl_->find_in_parent(remote_path, case_sensitive);
    return entry ? entry->attributes : 0;
}

double FtpClient::GetEntryModifiedTime(const std::string& remote_path, bool case_sensitive) {
    std::lock_guard lock(mutex_);
    const auto entry = impl_->find_in_parent(remote_path, case_sensitive);
    return entry ? entry->last_write_time : 0.0;
}

bool FtpClient::DirectoryExists(const std::string& remote_path, bool case_sensitive) {
    std::lock_guard lock(mutex_);
    return impl_->find_in_parent(remote_path, case_sensitive).has_value();
}

bool FtpClient::DownloadWithProgress(const std::string& remote_file, const std::string& local_file,
                                     const ProgressCallback& progress) {
    std::lock_guard lock(mutex_);
    return impl_->connected() && impl_->download_with_progress(remote_file, local_file, progress);
}

double FtpClient::FileTimeToDateTime(std::uint64_t file_time) {
    // 100-nanosecond ticks since 1601-01-01; the conversion keeps whole seconds, and
    // times outside the years 100 to 9999 have no date-time value.
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    constexpr std::int64_t kDaysFrom1601To1899_12_30 = 109205;
    if (file_time >= (std::uint64_t{1} << 63)) return 0;
    const std::int64_t seconds = static_cast<std::int64_t>(file_time / kTicksPerSecond);
    const std::int64_t days = seconds / 86400 - kDaysFrom1601To1899_12_30;
    platform::CalendarFields fields;
    if (!platform::date_time_to_calendar(static_cast<double>(days), &fields)) return 0;
    const std::int64_t second_of_day = seconds % 86400;
    fields.hour = static_cast<int>(second_of_day / 3600);
    fields.minute = static_cast<int>(second_of_day / 60 % 60);
    fields.second = static_cast<int>(second_of_day % 60);
    fields.millisecond = 0;
    double value = 0;
    return platform::calendar_to_date_time(fields, &value) ? value : 0;
}

std::string FtpClient::BufferToText(const char* buffer, std::size_t size) {
    const char* end = std::find(buffer, buffer + size, '\0');
    return std::string(buffer, end);
}

std::string FtpClient::TrimSeparators(const std::string& text) { return trim_separators(text); }

}  // namespace quillet::ftp
