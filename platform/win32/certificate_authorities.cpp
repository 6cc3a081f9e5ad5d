#include "platform/certificate_authorities.h"

#include "platform/wine.h"

namespace quillet::platform {

std::string system_certificate_authorities_file() {
    if (!running_under_wine()) return {};
    // Debian's bundle, which Wine also imports as its root store. Were it missing, libcurl
    // would still check certificates itself, and then accept none.
    return "Z:\\etc\\ssl\\certs\\ca-certificates.crt";
}

}  // namespace quillet::platform
