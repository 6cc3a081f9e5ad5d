#include "net/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "net/http_reply.h"
#include "net/regex.h"
#include "platform/certificate_authorities.h"
#include "platform/text_codec.h"

namespace quillet::net {
namespace {

constexpr std::string_view kSessionFailed = "702 创建WinHttp会话失败!";
constexpr std::string_view kAddressFailed = "701 解析URL地址失败!";
constexpr std::string_view kConnectFailed = "703 创建WinHttp连接失败!";
constexpr std::string_view kRequestFailed = "704 创建WinHttp请求失败!";
constexpr std::string_view kTimeoutFailed = "705 设置超时时间失败!";
constexpr std::string_view kCredentialsFailed = "707 设置代理凭证失败!";
constexpr std::string_view kCookieOptionFailed = "708 禁止自动设置Cookies失败!";
constexpr std::string_view kRedirectOptionFailed = "709 重定向设置失败!";
constexpr std::string_view kHeadersFailed = "710 设置协议头失败!";
constexpr std::string_view kSendFailed = "711 发送请求失败!";
constexpr std::string_view kNoResponse = "712 服务器未响应!";
constexpr std::string_view kReadFailed = "713 读取数据失败!";

constexpr int kDefaultTimeoutSeconds = 30;
// A reply larger than this is refused as it arrives rather than held: the version reply
// is a few hundred bytes, and an endless one must not grow without bound.
constexpr size_t kMaxBodyBytes = 64 * 1024;
constexpr size_t kMaxHeaderBytes = 64 * 1024;
// Character sets a page may ask the body to be converted from. Others (some converters
// have had memory faults on hostile input) leave the body as it came.
constexpr std::string_view kConvertibleCharsets[] = {"utf-8", "utf8",     "gbk",        "gb2312",      "gb18030",
                                                     "big5",  "us-ascii", "iso-8859-1", "windows-1252"};
constexpr long kMaxRedirects = 10;
constexpr size_t kCharsetSearchCharacters = 1024;
constexpr std::string_view kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// Each line is added only when the header text built so far does not mention its name.
constexpr std::pair<std::string_view, std::string_view> kDefaultHeaders[] = {
    {"User-Agent: ", "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)"},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*"},
    {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312"},
    {"Accept-Language: ", "Accept-Language: zh-cn"},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded"},
    {"Cache-Control: ", "Cache-Control: no-cache"},
};

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlStringDeleter {
    void operator()(char* text) const { curl_free(text); }
};

// libcurl wants an ASCII address: the GBK address goes to UTF-8 and every byte that
// may not stand in a URL as it is gets percent-encoded.
std::string encode_address(std::string_view gbk) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : platform::gbk_to_utf8(gbk)) {
        if (c >= 0x80 || c <= 0x20 || c == 0x7F) {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0x0F];
        } else {
            encoded += static_cast<char>(c);
        }
    }
    return encoded;
}

bool is_http_address(const std::string& address) {
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) return false;
    char* raw_scheme = nullptr;
    char* raw_host = nullptr;
    curl_url_get(url.get(), CURLUPART_SCHEME, &raw_scheme, 0);
    curl_url_get(url.get(), CURLUPART_HOST, &raw_host, 0);
    std::unique_ptr<char, CurlStringDeleter> scheme(raw_scheme), host(raw_host);
    if (!scheme || !host || !*host) return false;
    std::string_view name = scheme.get();
    return name == "http" || name == "https";
}

std::string request_header_text(const HttpRequest& request) {
    std::string text = request.extra_headers;
    if (!text.empty()) text += "\r\n";
    for (const auto& [name, line] : kDefaultHeaders) {
        if (find_ignoring_case(text, name) == std::string::npos) text.append(line).append("\r\n");
    }
    if (request.cookies && !request.cookies->empty() && find_ignoring_case(text, "Cookie: ") == std::string::npos) {
        text.append("Cookie: ").append(*request.cookies).append("\r\n");
    }
    return text;
}

bool append_header_line(std::unique_ptr<curl_slist, SlistDeleter>& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown) return false;
    list.release();
    list.reset(grown);
    return true;
}

bool build_header_list(const std::string& text, bool has_body, std::unique_ptr<curl_slist, SlistDeleter>& list) {
    for (std::string_view line : split_text(text, "\r\n")) {
        if (line.empty()) continue;
        std::string entry(line);
        // libcurl reads "Name:" with nothing after it as "drop this header"; "Name;"
        // is its way of sending the header with an empty value.
        if (size_t colon = entry.find(':'); colon != std::string::npos && trim_spaces(line.substr(colon + 1)).empty()) {
            entry = entry.substr(0, colon) + ";";
        }
        if (!append_header_line(list, entry)) return false;
    }
    // libcurl would wait for a "100 Continue" before a large body, which the servers
    // this routine talks to may never send.
    if (has_body && find_ignoring_case(text, "Expect:") == std::string::npos) {
        return append_header_line(list, "Expect:");
    }
    return true;
}

struct Exchange {
    std::string headers;
    std::string body;
    const std::atomic<bool>* abandon = nullptr;
};

// Returning less than was offered makes libcurl end the exchange with a write error.
size_t on_body(char* data, size_t size, size_t count, void* exchange) {
    auto* target = static_cast<Exchange*>(exchange);
    if (target->body.size() + size * count > kMaxBodyBytes) return 0;
    target->body.append(data, size * count);
    return size * count;
}

int check_abandon(void* exchange, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const std::atomic<bool>* abandon = static_cast<Exchange*>(exchange)->abandon;
    return abandon != nullptr && abandon->load() ? 1 : 0;
}

// Called for every header line of every response on the way (redirects, "100
// Continue"); a new status line starts the headers afresh so the final response's stay.
size_t on_header(char* data, size_t size, size_t count, void* exchange) {
    std::string_view line(data, size * count);
    auto* target = static_cast<Exchange*>(exchange);
    if (line.starts_with("HTTP/")) target->headers.clear();
    if (target->headers.size() + line.size() > kMaxHeaderBytes) return 0;
    target->headers.append(line);
    return size * count;
}

std::string_view failure_message(CURL* easy, CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
            return kConnectFailed;
        case CURLE_SEND_ERROR:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return kSendFailed;
        case CURLE_TOO_MANY_REDIRECTS:
        case CURLE_UNSUPPORTED_PROTOCOL:  // a redirect to another scheme
            return kNoResponse;
        case CURLE_OUT_OF_MEMORY:
            return kSessionFailed;
        default:
            break;
    }
    curl_off_t connect_time = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connect_time);
    if (code == CURLE_OPERATION_TIMEDOUT && connect_time == 0) return kConnectFailed;
    long response_code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response_code);
    return response_code == 0 ? kNoResponse : kReadFailed;
}

std::string first_characters(std::string_view text, size_t characters) {
    size_t at = 0;
    for (size_t n = 0; n < characters && at < text.size(); ++n) at += gbk_char_length(text, at);
    return std::string(text.substr(0, at));
}

// The body in GBK: converted from the character set its page declares, unless that is
// GBK already. A name the converter does not know leaves the body as it came.
std::string body_as_gbk(const std::string& body) {
    RegExp regex;
    std::string charset;
    if (regex.execute(kCharsetPattern, first_characters(body, kCharsetSearchCharacters))) {
        charset = regex.group_text(1, 1);
    }
    if (charset.empty() || charset == "gbk" || charset == "gb2312") return body;
    const bool allowed = std::any_of(std::begin(kConvertibleCharsets), std::end(kConvertibleCharsets),
                                     [&charset](std::string_view name) {
                                         return name.size() == charset.size() && find_ignoring_case(charset, name) == 0;
                                     });
    if (!allowed) return body;
    std::string converted;
    return platform::charset_to_gbk(body, charset, &converted) ? converted : body;
}

const char* method_name(int method) {
    switch (method) {
        case kPost: return "POST";
        case kHead: return "HEAD";
        case kPut: return "PUT";
        default: return "GET";
    }
}

struct Failure {
    std::string_view message;
};

// Sets up every option in the order the failure messages are numbered; returns the
// failure of the first option that could not be set.
std::optional<Failure> configure(CURL* easy, const HttpRequest& request, const std::string& address,
                                 const std::unique_ptr<curl_slist, SlistDeleter>& headers, Exchange& exchange) {
    const auto ok = [](CURLcode code) { return code == CURLE_OK; };
    const long timeout = request.timeout_seconds > 0 ? request.timeout_seconds : kDefaultTimeoutSeconds;

    // Only this address: no proxy from the environment, only web schemes, and a redirect
    // never leaves https for plain http.
    const bool secure = address.starts_with("https:") || address.starts_with("HTTPS:");
    const std::string authorities =
        request.ca_file.empty() ? platform::system_certificate_authorities_file() : request.ca_file;
    bool session = ok(curl_easy_setopt(easy, CURLOPT_PROXY, request.proxy.c_str())) &&
                   ok(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https")) &&
                   ok(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https")) &&
                   (authorities.empty() || ok(curl_easy_setopt(easy, CURLOPT_CAINFO, authorities.c_str()))) &&
                   ok(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L)) &&
                   // an abandoned request does not wait for a hanging name lookup
                   ok(curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L)) &&
                   ok(curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1))) &&
                   ok(curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L));
    if (!session) return Failure{kSessionFailed};

    const char* method = method_name(request.method);
    bool prepared = ok(curl_easy_setopt(easy, CURLOPT_URL, address.c_str())) &&
                    ok(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body)) &&
                    ok(curl_easy_setopt(easy, CURLOPT_WRITEDATA, &exchange)) &&
                    ok(curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header)) &&
                    ok(curl_easy_setopt(easy, CURLOPT_HEADERDATA, &exchange)) &&
                    ok(curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L)) &&
                    ok(curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, check_abandon)) &&
                    ok(curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &exchange));
    if (request.method == kHead) {
        prepared = prepared && ok(curl_easy_setopt(easy, CURLOPT_NOBODY, 1L));  // a HEAD carries no body
    } else if (request.body) {
        prepared = prepared &&
                   ok(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                                       static_cast<curl_off_t>(request.body->size()))) &&
                   ok(curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body->data())) &&
                   (request.method == kPost || ok(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method)));
    } else if (request.method == kPost) {
        prepared = prepared && ok(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t{0})) &&
                   ok(curl_easy_setopt(easy, CURLOPT_POSTFIELDS, ""));
    } else if (request.method == kPut) {
        prepared = prepared && ok(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method));
    }
    if (!prepared) return Failure{kRequestFailed};

    // The connect limit covers name lookup too; the speed limit ends an exchange that
    // has moved no byte for the whole timeout, as a per-wait timeout would. A server that
    // sends a byte now and then defeats both, so the whole exchange also has a deadline:
    // one timeout to connect and one for everything after.
    bool timed = ok(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, timeout)) &&
                 ok(curl_easy_setopt(easy, CURLOPT_TIMEOUT, 2 * timeout)) &&
                 ok(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L)) &&
                 ok(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, timeout));
    if (!timed) return Failure{kTimeoutFailed};

    bool credentials = true;
    if (!request.server_user.empty() && !request.server_password.empty()) {
        credentials = ok(curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC))) &&
                      ok(curl_easy_setopt(easy, CURLOPT_USERNAME, request.server_user.c_str())) &&
                      ok(curl_easy_setopt(easy, CURLOPT_PASSWORD, request.server_password.c_str()));
    }
    if (credentials && !request.proxy_user.empty() && !request.proxy_password.empty()) {
        credentials = ok(curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC))) &&
                      ok(curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, request.proxy_user.c_str())) &&
                      ok(curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, request.proxy_password.c_str()));
    }
    if (!credentials) return Failure{kCredentialsFailed};

    // A caller who passes cookies gets them kept across the redirects of this one exchange.
    if (request.cookies && !ok(curl_easy_setopt(easy, CURLOPT_COOKIEFILE, ""))) return Failure{kCookieOptionFailed};

    bool redirects = ok(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.no_redirect ? 0L : 1L)) &&
                     ok(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects));
    if (!redirects) return Failure{kRedirectOptionFailed};

    if (!ok(curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get()))) return Failure{kHeadersFailed};
    return std::nullopt;
}

}  // namespace

std::string http_request(const HttpRequest& request, HttpResponse* response) {
    HttpResponse ignored;
    HttpResponse& out = response ? *response : ignored;

    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialised) {
        out.status = kSessionFailed;
        return {};
    }
    const std::string address = encode_address(request.address);
    if (!is_http_address(address)) {
        out.status = kAddressFailed;
        return {};
    }
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        out.status = kSessionFailed;
        return {};
    }
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    if (!build_header_list(request_header_text(request), request.body.has_value(), headers)) {
        out.status = kHeadersFailed;
        return {};
    }
    Exchange exchange;
    exchange.abandon = request.abandon;
    if (auto failure = configure(easy.get(), request, address, headers, exchange)) {
        out.status = failure->message;
        return {};
    }
    if (CURLcode code = curl_easy_perform(easy.get()); code != CURLE_OK) {
        out.status = failure_message(easy.get(), code);
        return {};
    }

    out.status = status_of(exchange.headers);
    out.headers = normalise_set_cookie(exchange.headers);
    std::string new_cookies = cookies_set_by(out.headers);
    out.redirect_target = redirect_target_of(out.headers);
    out.cookies = request.merge_cookies && request.cookies ? merge_cookies(*request.cookies, new_cookies)
                                                           : std::move(new_cookies);
    out.raw_body = exchange.body;
    return body_as_gbk(exchange.body);
}

}  // namespace quillet::net
