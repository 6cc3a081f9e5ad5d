// Reading a WebDAV multistatus reply (the body of a PROPFIND): which resources it names,
// whether each is a folder, and each file's size. The reply comes from the network, so
// nothing in it is trusted: it is capped, must be well-formed XML with no document type
// (no entities to expand), and every href must stay on the server that was asked and
// name plain path components only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace quillet::ftp {

inline constexpr std::size_t kMaxMultistatusBytes = 4 * 1024 * 1024;

struct DavResource {
    // The href's path from the server's root, one percent-decoded UTF-8 component each.
    std::vector<std::string> path;
    bool collection = false;
    std::int64_t size = -1;  // getcontentlength; -1 when not given
};

// `request_url` is the URL the PROPFIND went to ("https://host:port/dav/folder/"): an
// absolute href must name the same scheme, host and port, and a relative one is taken
// against its path. Fails (kDavBadReply, kDavReplyTooLarge) with nothing in `resources`.
platform::Status parse_multistatus(std::string_view body, const std::string& request_url,
                                   std::vector<DavResource>* resources);

// The path of an http(s) URL split into percent-decoded components, checked as hrefs are;
// false for a URL or component that is refused.
bool url_path_components(const std::string& url, std::vector<std::string>* components);

}  // namespace quillet::ftp
