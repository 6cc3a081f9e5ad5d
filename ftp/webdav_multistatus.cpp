// expat rather than libxml2: the Windows build links static libraries cross-built from
// Debian's sources, and expat is one small C library with a plain CMake build and no
// dependencies, where libxml2 brings iconv, zlib and a far larger attack surface. Its
// namespace mode gives each element as "<namespace URI> <local name>", so the DAV:
// namespace is recognised whatever prefix a server picks.
#include "ftp/webdav_multistatus.h"

#include <expat.h>

#include <cctype>
#include <memory>

#include "ftp/webdav_failure.h"

namespace quillet::ftp {
namespace {

constexpr char kNamespaceSeparator = ' ';
// Real replies nest six deep; a reply far deeper is refused instead of being followed.
constexpr std::size_t kMaxDepth = 64;
constexpr std::size_t kMaxSizeDigits = 18;

platform::Status bad_reply(const std::string& why) {
    return platform::Status::failure(kDavBadReply, "服务器的 WebDAV 回复无效：" + why);
}

std::string lower(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One component decoded; false for a bad escape, or a name that is not one plain
// component once decoded (a separator or NUL inside it, "." or "..").
bool decode_component(std::string_view raw, std::string* name) {
    name->clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            *name += raw[i];
            continue;
        }
        const int high = i + 1 < raw.size() ? hex_value(raw[i + 1]) : -1;
        const int low = i + 2 < raw.size() ? hex_value(raw[i + 2]) : -1;
        if (high < 0 || low < 0) return false;
        *name += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (*name == "." || *name == "..") return false;
    return name->find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
}

bool split_path(std::string_view path, std::vector<std::string>* components) {
    const std::size_t end = path.find_first_of("?#");
    if (end != std::string_view::npos) path = path.substr(0, end);
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        if (slash > start) {
            std::string name;
            if (!decode_component(path.substr(start, slash - start), &name)) return false;
            components->push_back(std::move(name));
        }
        start = slash + 1;
    }
    return true;
}

// "scheme://host:port" in lower case with the scheme's port filled in, and the path
// ("/" when none); false when the text is not an http(s) URL.
bool split_url(std::string_view url, std::string* origin, std::string_view* path) {
    const std::size_t scheme_end = url.find("://");
    if (scheme_end == std::string_view::npos) return false;
    const std::string scheme = lower(url.substr(0, scheme_end));
    if (scheme != "http" && scheme != "https") return false;
    std::string_view rest = url.substr(scheme_end + 3);
    const std::size_t authority_end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authority_end);
    *path = authority_end == std::string_view::npos ? std::string_view("/") : rest.substr(authority_end);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    std::string_view host = authority, port;
    const std::size_t bracket = authority.find(']');
    const std::size_t colon = authority.find(':', bracket == std::string_view::npos ? 0 : bracket);
    if (colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty()) return false;
    for (char c : port) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    const std::string port_text = port.empty() ? (scheme == "https" ? "443" : "80") : std::string(port);
    *origin = scheme + "://" + lower(host) + ":" + std::to_string(std::stoi(port_text.substr(0, 6)));
    return true;
}

bool is_absolute_url(std::string_view href) {
    const std::size_t colon = href.find(':');
    const std::size_t slash = href.find('/');
    return colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash);
}

// What one <response> and the <propstat> being read hold so far.
struct Reading {
    std::vector<std::vector<std::string>> hrefs;
    bool collection = false;
    std::int64_t size = -1;
    bool propstat_collection = false;
    std::int64_t propstat_size = -1;
    std::string propstat_status;
};

class MultistatusReader {
  public:
    MultistatusReader(const std::string& request_url, std::vector<DavResource>* resources)
        : resources_(resources) {
        std::string_view path;
        url_ok_ = split_url(request_url, &origin_, &path);
        if (url_ok_) url_ok_ = split_path(path, &request_path_);
    }

    platform::Status read(std::string_view body) {
        if (!url_ok_) return platform::Status::failure(kDavBadAddress, "WebDAV 地址无效");
        std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(
            XML_ParserCreateNS(nullptr, kNamespaceSeparator), XML_ParserFree);
        if (!parser) return bad_reply("内存不足");
        parser_ = parser.get();
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, on_start, on_end);
        XML_SetCharacterDataHandler(parser_, on_text);
        XML_SetStartDoctypeDeclHandler(parser_, on_doctype);
        const bool parsed =
            XML_Parse(parser_, body.data(), static_cast<int>(body.size()), XML_TRUE) == XML_STATUS_OK;
        if (!error_.empty()) return bad_reply(error_);
        if (!parsed) return bad_reply(std::string("不是格式正确的 XML（") + XML_ErrorString(XML_GetErrorCode(parser_)) + "）");
        if (!seen_root_) return bad_reply("没有 multistatus 元素");
        return {};
    }

  private:
    static constexpr std::string_view kDav = "DAV: ";

    // The element's local name when it is in the DAV: namespace, else "".
    static std::string_view dav_name(const XML_Char* name) {
        const std::string_view full(name);
        return full.starts_with(kDav) ? full.substr(kDav.size()) : std::string_view();
    }

    bool parent_is(std::string_view name, std::size_t up = 1) const {
        return stack_.size() >= up && stack_[stack_.size() - up] == name;
    }

    void fail(const std::string& why) {
        if (error_.empty()) error_ = why;
        XML_StopParser(parser_, XML_FALSE);
    }

    static void on_doctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        static_cast<MultistatusReader*>(self)->fail("含有文档类型声明");
    }

    static void on_start(void* user, const XML_Char* raw_name, const XML_Char**) {
        auto* self = static_cast<MultistatusReader*>(user);
        const std::string name(dav_name(raw_name));
        if (self->stack_.size() >= kMaxDepth) return self->fail("嵌套过深");
        if (self->stack_.empty()) {
            if (name != "multistatus") return self->fail("根元素不是 multistatus");
            self->seen_root_ = true;
        }
        if (name == "response" && self->parent_is("multistatus") && self->stack_.size() == 1) {
            self->response_ = Reading();
        } else if (name == "propstat" && self->parent_is("response")) {
            self->response_.propstat_collection = false;
            self->response_.propstat_size = -1;
            self->response_.propstat_status.clear();
        } else if (name == "collection" && self->parent_is("resourcetype") && self->parent_is("prop", 2)) {
            self->response_.propstat_collection = true;
        }
        self->text_.clear();
        self->stack_.push_back(name);
    }

    static void on_end(void* user, const XML_Char*) {
        auto* self = static_cast<MultistatusReader*>(user);
        // A stopped parser may still report the end of the element it stopped in.
        if (!self->error_.empty() || self->stack_.empty()) return;
        const std::string name = self->stack_.back();
        self->stack_.pop_back();
        Reading& response = self->response_;
        if (name == "href" && self->parent_is("response")) {
            self->take_href(self->text_);
        } else if (name == "getcontentlength" && self->parent_is("prop")) {
            self->take_size(self->text_);
        } else if (name == "status" && self->parent_is("propstat")) {
            response.propstat_status = self->text_;
        } else if (name == "propstat" && self->parent_is("response")) {
            // Properties the server reports missing (404) or refused say nothing.
            if (response.propstat_status.find(" 200") != std::string::npos) {
                response.collection = response.collection || response.propstat_collection;
                if (response.propstat_size >= 0) response.size = response.propstat_size;
            }
        } else if (name == "response" && self->parent_is("multistatus") && self->stack_.size() == 1) {
            if (response.hrefs.empty()) return self->fail("回复中的条目没有 href");
            for (auto& path : response.hrefs) {
                self->resources_->push_back({std::move(path), response.collection, response.size});
            }
        }
        self->text_.clear();
    }

    static void on_text(void* user, const XML_Char* text, int length) {
        static_cast<MultistatusReader*>(user)->text_.append(text, static_cast<std::size_t>(length));
    }

    void take_href(std::string href) {
        while (!href.empty() && std::isspace(static_cast<unsigned char>(href.back()))) href.pop_back();
        std::size_t first = 0;
        while (first < href.size() && std::isspace(static_cast<unsigned char>(href[first]))) ++first;
        const std::string_view trimmed = std::string_view(href).substr(first);
        std::vector<std::string> path;
        if (is_absolute_url(trimmed)) {
            std::string origin;
            std::string_view url_path;
            if (!split_url(trimmed, &origin, &url_path)) return fail("href 不是 http(s) 地址");
            if (origin != origin_) return fail("href 指向另一台服务器");
            if (!split_path(url_path, &path)) return fail("href 含有不允许的名称");
        } else {
            if (!trimmed.starts_with("/")) path = request_path_;
            if (!split_path(trimmed, &path)) return fail("href 含有不允许的名称");
        }
        response_.hrefs.push_back(std::move(path));
    }

    void take_size(const std::string& text) {
        std::size_t first = 0, last = text.size();
        while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
        while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
        if (first == last) return;  // an empty element, as in a list of missing properties
        if (last - first > kMaxSizeDigits) return fail("文件大小无效");
        std::int64_t size = 0;
        for (std::size_t i = first; i < last; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return fail("文件大小无效");
            size = size * 10 + (text[i] - '0');
        }
        response_.propstat_size = size;
    }

    std::vector<DavResource>* resources_;
    std::string origin_;
    std::vector<std::string> request_path_;
    bool url_ok_ = false;
    XML_Parser parser_ = nullptr;
    std::vector<std::string> stack_;  // DAV: local names, "" for elements of other namespaces
    std::string text_;
    Reading response_;
    bool seen_root_ = false;
    std::string error_;
};

}  // namespace

platform::Status parse_multistatus(std::string_view body, const std::string& request_url,
                                   std::vector<DavResource>* resources) {
    resources->clear();
    if (body.size() > kMaxMultistatusBytes) {
        return platform::Status::failure(kDavReplyTooLarge, "服务器的 WebDAV 回复过大");
    }
    platform::Status status = MultistatusReader(request_url, resources).read(body);
    if (!status.ok()) resources->clear();
    return status;
}

bool url_path_components(const std::string& url, std::vector<std::string>* components) {
    components->clear();
    std::string origin;
    std::string_view path;
    return split_url(url, &origin, &path) && split_path(path, components);
}

}  // namespace quillet::ftp
