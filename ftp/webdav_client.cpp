// The client on one libcurl easy handle, reset before each request and kept between them
// so that its connection (and TLS session) is reused.
//
// Connect meets the server twice: first a PROPFIND without credentials, which settles the
// TLS trust (and learns which authentication the server asks for), then the same request
// with them. A certificate refused in the first never sees the password; a pinned one is
// checked inside every handshake after it.
//
// Redirects are followed here rather than by libcurl, so each target is checked against
// the first URL's scheme, host and port before anything goes to it.
#include "ftp/webdav_client.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdio>
#include <optional>

#include "ftp/certificate_check.h"
#include "ftp/webdav_failure.h"
#include "ftp/webdav_multistatus.h"
#include "platform/certificate_authorities.h"
#include "platform/file.h"
#include "platform/secret_text.h"
#include "platform/secure_random.h"
#include "platform/text_codec.h"

namespace quillet::ftp {
namespace {

using platform::Status;

constexpr long kMaxRedirects = 5;
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
// Bodies of replies other than listings and downloads are short error pages.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;
constexpr std::int64_t kMaxDownloadBytes = std::int64_t{1} << 30;

constexpr const char* kPropfindBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/><d:getcontentlength/></d:prop></d:propfind>";

void initialise_curl_once() {
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Every byte outside the unreserved set is escaped: one path component.
std::string encode_component(const std::string& utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : utf8) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

// A typed URL made fit for libcurl: UTF-8, with spaces, controls and non-ASCII escaped.
std::string encode_typed_url(const std::string& utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : utf8) {
        if (c >= 0x80 || c <= 0x20 || c == 0x7F) {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        } else {
            encoded += static_cast<char>(c);
        }
    }
    return encoded;
}

std::string trimmed(const std::string& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
    return text.substr(first, last - first);
}

// One plain name (GBK): no separator, NUL, "." or "..". A 0x5C byte that ends a
// double-byte GBK character is part of it, not a separator.
bool plain_name(const std::string& name) {
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

// The storage path's components (UTF-8); false when one is not a plain name.
bool storage_components(const std::string& gbk, std::vector<std::string>* components) {
    std::string name;
    auto take = [&]() {
        if (name.empty()) return true;
        if (!plain_name(name)) return false;
        components->push_back(platform::gbk_to_utf8(name));
        name.clear();
        return true;
    };
    for (std::size_t i = 0; i < gbk.size(); ++i) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) {
            name += gbk[i];
            name += gbk[++i];
        } else if (c == '/' || c == '\\') {
            if (!take()) return false;
        } else {
            name += gbk[i];
        }
    }
    return take();
}

bool is_loopback(const std::string& host) {
    const std::string name = lower(host);
    if (name == "localhost" || name == "[::1]" || name == "::1") return true;
    unsigned a = 0, b = 0, c = 0, d = 0;
    char extra = 0;
    return std::sscanf(name.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) == 4 && a == 127 && b < 256 &&
           c < 256 && d < 256;
}

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::string url_part(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return {};
    std::string result(text);
    curl_free(text);
    return result;
}

// The parts of the account's URL that requests are built from.
struct Place {
    std::string scheme, host;  // lower case; host as in a URL ("[::1]" for IPv6)
    int port = 0;
    std::vector<std::string> base;  // the URL's path components, decoded UTF-8
    std::vector<std::string> folder;  // base + the storage path's components

    std::string origin() const { return scheme + "://" + host + ":" + std::to_string(port); }
    // The URL of a folder (with its trailing slash) or of a file in the storage folder.
    std::string url_of(const std::vector<std::string>& components, bool is_folder) const {
        std::string url = origin();
        for (const std::string& name : components) url += "/" + encode_component(name);
        if (is_folder || components.empty()) url += "/";
        return url;
    }
    std::string file_url(const std::string& utf8_name) const {
        return url_of(folder, true) + encode_component(utf8_name);
    }
};

Status failure(WebDavFailure code, const std::string& message) { return Status::failure(code, message); }

Status bad_address(const std::string& why) { return failure(kDavBadAddress, "WebDAV 地址无效：" + why); }

Status parse_place(const WebDavAccount& account, Place* place) {
    const std::string typed = trimmed(account.url);
    const std::string scheme_part = lower(typed.substr(0, typed.find("://")));
    if (scheme_part != "http" && scheme_part != "https") return bad_address("地址须以 https:// 或 http:// 开头");
    if (account.port < 0 || account.port > 65535) return bad_address("端口须在 1 到 65535 之间");
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url) return failure(kDavTransferFailed, "内存不足");
    const std::string encoded = encode_typed_url(platform::gbk_to_utf8(typed));
    if (curl_url_set(url.get(), CURLUPART_URL, encoded.c_str(), 0) != CURLUE_OK) return bad_address(typed);
    place->scheme = lower(url_part(url.get(), CURLUPART_SCHEME));
    place->host = lower(url_part(url.get(), CURLUPART_HOST));
    if (place->host.empty()) return bad_address("缺少服务器名");
    const std::string port_text = url_part(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    place->port = account.port > 0 ? account.port : std::atoi(port_text.c_str());
    if (place->port <= 0 || place->port > 65535) return bad_address("端口无效");
    place->base.clear();
    if (!url_path_components(place->origin() + url_part(url.get(), CURLUPART_PATH), &place->base)) {
        return bad_address("路径中含有不允许的名称");
    }
    place->folder = place->base;
    if (!storage_components(account.storage_path, &place->folder)) return bad_address("路径中含有不允许的名称");
    return {};
}

Status reason_of(long http_code) {
    const std::string code = "（" + std::to_string(http_code) + "）";
    switch (http_code) {
        case 401:
            return failure(kDavLoginRefused, "服务器拒绝了账号或密码" + code);
        case 403:
            return failure(kDavForbidden, "服务器拒绝访问" + code);
        case 404:
            return failure(kDavNotFound, "服务器上找不到该地址或文件" + code);
        case 409:
            return failure(kDavNotFound, "服务器上缺少上级文件夹" + code);
        case 507:
            return failure(kDavServerRefused, "服务器空间不足" + code);
        default:
            return failure(kDavServerRefused, "服务器拒绝了请求" + code);
    }
}

bool is_tls_refusal(CURLcode code) {
    return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_PINNEDPUBKEYNOTMATCH ||
           code == CURLE_SSL_CONNECT_ERROR;
}

// What one request sends and what came back.
struct Exchange {
    std::string headers;
    std::string body;
    std::size_t body_cap = kMaxReplyBytes;
    bool over_cap = false;
    // Uploads read from, downloads write to a file.
    platform::File* source = nullptr;
    std::int64_t source_length = 0;
    std::int64_t source_offset = 0;
    platform::File* sink = nullptr;
    std::int64_t written = 0;
    bool local_failed = false;
    std::atomic<bool>* cancel = nullptr;
    const WebDavProgress* progress = nullptr;
};

size_t on_header(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) exchange->headers.clear();
    if (exchange->headers.size() + line.size() > kMaxHeaderBytes) {
        exchange->over_cap = true;
        return 0;
    }
    exchange->headers.append(line);
    return size * count;
}

// Returning less than was offered ends the request with a write error.
size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    const std::size_t length = size * count;
    if (exchange->sink != nullptr) {
        if (exchange->written + static_cast<std::int64_t>(length) > kMaxDownloadBytes) {
            exchange->over_cap = true;
            return 0;
        }
        if (exchange->sink->write_at(exchange->written, data, length) != platform::FileError::kNone) {
            exchange->local_failed = true;
            return 0;
        }
        exchange->written += static_cast<std::int64_t>(length);
        return length;
    }
    if (exchange->body.size() + length > exchange->body_cap) {
        exchange->over_cap = true;
        return 0;
    }
    exchange->body.append(data, length);
    return length;
}

size_t on_read(char* buffer, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    std::size_t read = 0;
    if (exchange->source->read_at(exchange->source_offset, buffer, size * count, &read) != platform::FileError::kNone) {
        exchange->local_failed = true;
        return CURL_READFUNC_ABORT;
    }
    exchange->source_offset += static_cast<std::int64_t>(read);
    return read;
}

// libcurl rewinds an upload to send it again after an authentication challenge.
int on_seek(void* user, curl_off_t offset, int origin) {
    auto* exchange = static_cast<Exchange*>(user);
    if (origin != SEEK_SET || offset < 0 || offset > exchange->source_length) return CURL_SEEKFUNC_FAIL;
    exchange->source_offset = offset;
    return CURL_SEEKFUNC_OK;
}

int on_progress(void* user, curl_off_t download_total, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto* exchange = static_cast<Exchange*>(user);
    if (exchange->cancel->load()) return 1;
    if (exchange->progress != nullptr && *exchange->progress) {
        if (exchange->source != nullptr) {
            (*exchange->progress)(uploaded, exchange->source_length);
        } else if (exchange->sink != nullptr) {
            (*exchange->progress)(downloaded, download_total > 0 ? download_total : -1);
        }
    }
    return 0;
}

}  // namespace

struct WebDavClient::Impl {
    explicit Impl(std::atomic<bool>* cancel_flag) : cancel(cancel_flag) {
        trust_store.recall = [this](const std::string& key) {
            const auto found = remembered.find(key);
            return found == remembered.end() ? ServerTrust{} : found->second;
        };
        trust_store.remember = [this](const std::string& key, const ServerTrust& trust) { remembered[key] = trust; };
    }
    ~Impl() { close(); }

    std::atomic<bool>* cancel;
    WebDavTimeouts timeouts;
    TrustStore trust_store;
    TrustList remembered;  // the trust store when no other is set
    TrustConsent consent;
    std::string authorities_file;
    WebDavProgress progress;

    CURL* curl = nullptr;  // non-null exactly while connected (and during connect)
    Place place;
    std::string user, password;  // UTF-8
    long auth = CURLAUTH_BASIC | CURLAUTH_DIGEST;
    std::unique_ptr<CertificateCheck> check;  // https only

    struct Request {
        std::string method;
        std::string url;
        std::vector<std::string> headers;
        std::string body;  // sent when not empty
        bool credentials = true;
    };

    void close() {
        platform::wipe_secret(password);
        platform::wipe_secret(user);
        if (curl != nullptr) curl_easy_cleanup(curl);
        curl = nullptr;
        check.reset();
    }

    void prepare(const Request& request, const std::string& url, Exchange* exchange, curl_slist* headers) {
        curl_easy_reset(curl);
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (request.method == "GET") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
        if (request.credentials) {
            curl_easy_setopt(curl, CURLOPT_HTTPAUTH, auth);
            curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
        }
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);  // a hung name lookup must not hold up closing
        curl_easy_setopt(curl, CURLOPT_PROXY, "");       // nothing from the environment
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connect_ms);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeouts.request_seconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeouts.stall_seconds);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, exchange);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, exchange);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, exchange);
        if (exchange->source != nullptr) {
            curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(exchange->source_length));
            curl_easy_setopt(curl, CURLOPT_READFUNCTION, on_read);
            curl_easy_setopt(curl, CURLOPT_READDATA, exchange);
            curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, on_seek);
            curl_easy_setopt(curl, CURLOPT_SEEKDATA, exchange);
        } else if (!request.body.empty()) {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
        }
        if (place.scheme == "https") {
            const std::string authorities =
                authorities_file.empty() ? platform::system_certificate_authorities_file() : authorities_file;
            if (!authorities.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, authorities.c_str());
            if (check) check->install(curl);
        }
    }

    // Runs one request, following redirects within the same origin; `*code` gets the final
    // HTTP status. A failed exchange (no final status) is returned as a Status.
    Status perform(const Request& request, Exchange* exchange, long* code, CURLcode* transport = nullptr) {
        *code = 0;
        exchange->cancel = cancel;
        exchange->progress = &progress;
        curl_slist* headers = nullptr;
        for (const std::string& line : request.headers) headers = curl_slist_append(headers, line.c_str());
        headers = curl_slist_append(headers, "Expect:");  // no wait for a "100 Continue" some servers never send
        std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> header_list(headers, curl_slist_free_all);
        std::string url = request.url;
        for (long redirects = 0;; ++redirects) {
            exchange->headers.clear();
            exchange->body.clear();
            exchange->source_offset = 0;
            exchange->written = 0;
            prepare(request, url, exchange, headers);
            const CURLcode result = curl_easy_perform(curl);
            if (transport != nullptr) *transport = result;
            if (result != CURLE_OK) return transport_failure(result, *exchange);
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, code);
            char* target = nullptr;
            curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &target);
            if (*code < 300 || *code >= 400 || target == nullptr) return {};
            Place next;
            WebDavAccount redirected;
            redirected.url = platform::utf8_to_gbk(target);
            if (!parse_place(redirected, &next).ok() || next.origin() != place.origin()) {
                return failure(kDavRedirectRefused, "服务器要求转到另一个地址，已拒绝：" + platform::utf8_to_gbk(target));
            }
            if (redirects + 1 > kMaxRedirects) return failure(kDavRedirectRefused, "服务器的重定向次数过多");
            url = target;
        }
    }

    Status transport_failure(CURLcode result, const Exchange& exchange) const {
        const std::string host = platform::utf8_to_gbk(place.host);
        if (exchange.local_failed) return failure(kDavLocalFile, "无法读写本地文件");
        if (exchange.over_cap) return failure(kDavReplyTooLarge, "服务器的回复过大");
        switch (result) {
            case CURLE_COULDNT_RESOLVE_HOST:
                return failure(kDavHostNotFound, "找不到服务器 " + host);
            case CURLE_COULDNT_CONNECT:
                return failure(kDavConnectionRefused, "无法连接到服务器 " + host + "（连接被拒绝）");
            case CURLE_OPERATION_TIMEDOUT:
                return failure(kDavTimedOut, "服务器 " + host + " 在规定时间内没有响应");
            case CURLE_ABORTED_BY_CALLBACK:
                return failure(kDavCancelled, "操作已取消");
            case CURLE_PEER_FAILED_VERIFICATION:
            case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            case CURLE_SSL_CONNECT_ERROR:
            case CURLE_SSL_CACERT_BADFILE:
                return failure(kDavTlsFailed, "与服务器 " + host + " 的安全连接（TLS）失败");
            case CURLE_SEND_ERROR:
            case CURLE_RECV_ERROR:
            case CURLE_GOT_NOTHING:
            case CURLE_PARTIAL_FILE:
                return failure(kDavTransferFailed, "与服务器 " + host + " 的连接中断");
            default:
                return failure(kDavTransferFailed,
                               std::string("与服务器通信失败：") + platform::utf8_to_gbk(curl_easy_strerror(result)));
        }
    }

    // A request whose reply must be one of the given codes.
    Status expect(const Request& request, std::initializer_list<long> accepted, long* code = nullptr,
                  Exchange* used = nullptr) {
        Exchange local;
        Exchange* exchange = used != nullptr ? used : &local;
        long status = 0;
        Status result = perform(request, exchange, &status);
        if (code != nullptr) *code = status;
        if (!result.ok()) return result;
        for (long ok : accepted) {
            if (status == ok) return {};
        }
        return reason_of(status);
    }

    Request propfind(const std::string& url, const char* depth, bool credentials = true) const {
        return {"PROPFIND", url, {std::string("Depth: ") + depth, "Content-Type: application/xml; charset=utf-8"},
                kPropfindBody, credentials};
    }

    // The first request, without credentials: settles which certificate is accepted,
    // asking the user before a new pin, and which authentication the server wants.
    Status meet_server() {
        using Kind = ServerTrust::Kind;
        const std::string key = server_key(place.host, place.port);
        const std::string shown = platform::utf8_to_gbk(place.host) + ":" + std::to_string(place.port);
        const ServerTrust known = trust_store.recall ? trust_store.recall(key) : ServerTrust{};
        const bool https = place.scheme == "https";
        if (https) {
            check = known.kind == Kind::kPinned ? std::make_unique<CertificateCheck>(CertificateCheck::Mode::kPinned,
                                                                                    known.fingerprint, known.public_key)
                                                : std::make_unique<CertificateCheck>(CertificateCheck::Mode::kAuthority);
        }
        CURLcode transport = CURLE_OK;
        Status met = probe(&transport);
        if (met.ok() && https) {
            const std::string seen_key = check->seen_public_key();
            if (known.kind == Kind::kNone || known.kind == Kind::kPlainAgreed) {
                remember(key, {Kind::kAuthority, {}, {}});
            } else if (known.kind == Kind::kPinned && known.public_key.empty() && !seen_key.empty()) {
                remember(key, {Kind::kPinned, known.fingerprint, seen_key});  // a pin from before keys were kept
            }
        }
        if (!https || met.ok() || !is_tls_refusal(transport)) return met;
        if (known.kind == Kind::kPinned || known.kind == Kind::kAuthority) {
            return failure(kDavCertificateChanged,
                           "服务器 " + shown + " 的证书与上次连接时不同，可能有人冒充该服务器；密码没有发送");
        }
        const CertificateCheck::Verdict verdict = check->examine_refusal(curl);
        if (verdict == CertificateCheck::Verdict::kVouched) {
            return failure(kDavHostNameMismatch, "服务器 " + shown + " 的证书不是为这个名称签发的");
        }
        if (verdict != CertificateCheck::Verdict::kUnvouched) return met;
        const std::string fingerprint = check->seen_fingerprint();
        const std::string public_key = check->seen_public_key();
        if (!consent.allow_pin || !consent.allow_pin(shown, grouped_fingerprint(fingerprint))) {
            return failure(kDavCertificateDeclined, "服务器 " + shown + " 的证书未经认可，没有连接");
        }
        // The connection must meet the very certificate the user agreed to.
        check = std::make_unique<CertificateCheck>(CertificateCheck::Mode::kPinned, fingerprint, public_key);
        met = probe(&transport);
        if (met.ok()) remember(key, {Kind::kPinned, fingerprint, public_key});
        return met;
    }

    Status probe(CURLcode* transport) {
        Exchange exchange;
        exchange.body_cap = kMaxMultistatusBytes;
        long code = 0;
        Status result = perform(propfind(place.url_of(place.base, true), "0", false), &exchange, &code, transport);
        if (!result.ok()) return result;
        if (code == 401) {
            long offered = 0;
            curl_easy_getinfo(curl, CURLINFO_HTTPAUTH_AVAIL, &offered);
            // One method, the strongest offered: with several, libcurl would first send
            // every request without credentials to find out.
            if (offered & CURLAUTH_DIGEST) {
                auth = CURLAUTH_DIGEST;
            } else if (offered & CURLAUTH_BASIC) {
                auth = CURLAUTH_BASIC;
            }
        }
        return {};
    }

    void remember(const std::string& key, const ServerTrust& trust) {
        if (trust_store.remember) trust_store.remember(key, trust);
    }

    Status connect(const WebDavAccount& account) {
        close();
        Status parsed = parse_place(account, &place);
        if (!parsed.ok()) return parsed;
        if (place.scheme == "http" && (!account.user.empty() || !account.password.empty()) &&
            !is_loopback(place.host)) {
            return failure(kDavPlainRefused,
                           "密码不能通过未加密的 http:// 发送到其他计算机，请改用以 https:// 开头的地址");
        }
        initialise_curl_once();
        curl = curl_easy_init();
        if (curl == nullptr) return failure(kDavTransferFailed, "内存不足");
        user = platform::gbk_to_utf8(account.user);
        password = platform::gbk_to_utf8(account.password);
        auth = CURLAUTH_BASIC | CURLAUTH_DIGEST;
        Status result = meet_server();
        if (result.ok()) result = expect(propfind(place.url_of(place.base, true), "0"), {207});
        if (!result.ok()) close();
        return result;
    }

    // The storage folder, created level by level below the URL where missing.
    Status ensure_folder() {
        long code = 0;
        Status found = expect(propfind(place.url_of(place.folder, true), "0"), {207}, &code);
        if (found.ok() || code != 404) return found;
        std::vector<std::string> level = place.base;
        for (std::size_t i = place.base.size(); i < place.folder.size(); ++i) {
            level.push_back(place.folder[i]);
            // 405: the level exists already.
            Status made = expect({"MKCOL", place.url_of(level, true), {}, {}, true}, {201, 405});
            if (!made.ok()) return made;
        }
        return {};
    }

    Status move(const std::string& from_url, const std::string& to_url, bool overwrite, long* code) {
        return expect({"MOVE", from_url, {"Destination: " + to_url, overwrite ? "Overwrite: T" : "Overwrite: F"}, {},
                       true},
                      {201, 204}, code);
    }

    std::string temporary_name(const std::string& target, const char* kind) const {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(platform::secure_random_word()));
        return target + "." + kind + "-" + suffix;
    }

    // Moves the whole file `sent` onto the target. A server that will not move onto an
    // existing file gets the old copy moved aside first and deleted only once the new
    // one is in place; should the connection die between the two moves, the server holds
    // both whole copies under the temporary names and no target, which a download refuses
    // rather than taking half a file. Any failure leaves the old target as it was.
    Status put_in_place(const std::string& sent_url, const std::string& target) {
        const std::string target_url = place.file_url(target);
        long code = 0;
        Status moved = move(sent_url, target_url, true, &code);
        if (moved.ok() || code == 0) return moved;
        const std::string aside_url = place.file_url(temporary_name(target, "old"));
        long aside_code = 0;
        if (!move(target_url, aside_url, false, &aside_code).ok()) return moved;
        Status placed = move(sent_url, target_url, false, &code);
        if (placed.ok()) {
            (void)expect({"DELETE", aside_url, {}, {}, true}, {200, 204});
            return {};
        }
        (void)move(aside_url, target_url, false, &code);
        return placed;
    }

    Status upload(const std::string& local_file, const std::string& target) {
        if (curl == nullptr) return failure(kDavTransferFailed, "尚未连接到 WebDAV 服务器");
        if (!plain_name(target)) return bad_address("文件名无效");
        platform::File file;
        Exchange exchange;
        if (file.open(local_file, platform::Access::kRead, platform::Share::kReadWrite) !=
                platform::FileError::kNone ||
            file.length(&exchange.source_length) != platform::FileError::kNone) {
            return failure(kDavLocalFile, "无法读取本地文件");
        }
        Status ready = ensure_folder();
        if (!ready.ok()) return ready;
        const std::string utf8_target = platform::gbk_to_utf8(target);
        const std::string sent_url = place.file_url(temporary_name(utf8_target, "upload"));
        exchange.source = &file;
        Status sent = expect({"PUT", sent_url, {"Content-Type: application/octet-stream"}, {}, true}, {200, 201, 204},
                             nullptr, &exchange);
        if (sent.ok()) sent = put_in_place(sent_url, utf8_target);
        // What is left of a failed upload goes; the target was never touched.
        if (!sent.ok() && sent.code() != kDavCancelled) (void)expect({"DELETE", sent_url, {}, {}, true}, {200, 204});
        return sent;
    }

    Status download(const std::string& target, const std::string& local_file) {
        if (curl == nullptr) return failure(kDavTransferFailed, "尚未连接到 WebDAV 服务器");
        if (!plain_name(target)) return bad_address("文件名无效");
        std::string partial;
        Status result;
        {
            platform::File file;
            if (platform::create_private_temporary(local_file + ".part", &file, &partial,
                                                   platform::Share::kReadWrite) != platform::FileError::kNone) {
                return failure(kDavLocalFile, "无法创建本地临时文件");
            }
            Exchange exchange;
            exchange.sink = &file;
            result = expect({"GET", place.file_url(platform::gbk_to_utf8(target)), {}, {}, true}, {200}, nullptr,
                            &exchange);
            if (result.ok() && file.sync() != platform::FileError::kNone) {
                result = failure(kDavLocalFile, "无法写入本地文件");
            }
        }
        if (result.ok() && !platform::replace_file(partial, local_file)) {
            result = failure(kDavLocalFile, "无法替换本地文件");
        }
        if (!result.ok()) platform::remove_file(partial);
        return result;
    }

    Status remove(const std::string& target) {
        if (curl == nullptr) return failure(kDavTransferFailed, "尚未连接到 WebDAV 服务器");
        if (!plain_name(target)) return bad_address("文件名无效");
        return expect({"DELETE", place.file_url(platform::gbk_to_utf8(target)), {}, {}, true}, {200, 204});
    }

    Status list(std::vector<WebDavEntry>* entries) {
        entries->clear();
        if (curl == nullptr) return failure(kDavTransferFailed, "尚未连接到 WebDAV 服务器");
        Exchange exchange;
        exchange.body_cap = kMaxMultistatusBytes;
        const std::string url = place.url_of(place.folder, true);
        Status listed = expect(propfind(url, "1"), {207}, nullptr, &exchange);
        if (!listed.ok()) return listed;
        std::vector<DavResource> resources;
        Status parsed = parse_multistatus(exchange.body, url, &resources);
        if (!parsed.ok()) return parsed;
        for (const DavResource& resource : resources) {
            // The folder's own entry and anything not directly inside it are not its entries.
            if (resource.path.size() != place.folder.size() + 1 ||
                !std::equal(place.folder.begin(), place.folder.end(), resource.path.begin())) {
                continue;
            }
            entries->push_back({platform::utf8_to_gbk(resource.path.back()), resource.collection, resource.size});
        }
        return {};
    }
};

WebDavClient::WebDavClient() : impl_(std::make_unique<Impl>(&cancel_requested_)) {}

WebDavClient::~WebDavClient() { close(); }

void WebDavClient::set_timeouts(const WebDavTimeouts& timeouts) {
    std::lock_guard lock(mutex_);
    impl_->timeouts = timeouts;
}

void WebDavClient::set_trust_store(TrustStore store) {
    std::lock_guard lock(mutex_);
    impl_->trust_store = std::move(store);
}

void WebDavClient::set_trust_consent(TrustConsent consent) {
    std::lock_guard lock(mutex_);
    impl_->consent = std::move(consent);
}

void WebDavClient::set_certificate_authorities(const std::string& file) {
    std::lock_guard lock(mutex_);
    impl_->authorities_file = file;
}

void WebDavClient::set_progress(WebDavProgress progress) {
    std::lock_guard lock(mutex_);
    impl_->progress = std::move(progress);
}

platform::Status WebDavClient::connect(const WebDavAccount& account) {
    std::lock_guard lock(mutex_);
    return impl_->connect(account);
}

bool WebDavClient::connected() {
    std::lock_guard lock(mutex_);
    return impl_->curl != nullptr;
}

platform::Status WebDavClient::list(std::vector<WebDavEntry>* entries) {
    std::lock_guard lock(mutex_);
    return impl_->list(entries);
}

platform::Status WebDavClient::upload(const std::string& local_file, const std::string& target_name) {
    std::lock_guard lock(mutex_);
    return impl_->upload(local_file, target_name);
}

platform::Status WebDavClient::download(const std::string& target_name, const std::string& local_file) {
    std::lock_guard lock(mutex_);
    return impl_->download(target_name, local_file);
}

platform::Status WebDavClient::remove(const std::string& target_name) {
    std::lock_guard lock(mutex_);
    return impl_->remove(target_name);
}

void WebDavClient::close() {
    // A running request sees this at its next progress check (at least once a second).
    cancel_requested_ = true;
    std::lock_guard lock(mutex_);
    cancel_requested_ = false;
    impl_->close();
}

}  // namespace quillet::ftp
