// Multistatus replies as a WebDAV server might send them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/webdav_multistatus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    std::vector<quillet::ftp::DavResource> resources;
    const auto status = quillet::ftp::parse_multistatus(body, "https://127.0.0.1:8443/dav/folder/", &resources);
    if (!status.ok() && !resources.empty()) __builtin_trap();  // a refused reply yields nothing
    for (const auto& resource : resources) {
        for (const auto& name : resource.path) {
            if (name.empty() || name == ".." || name.find('/') != std::string::npos) __builtin_trap();
        }
    }
    return 0;
}
