// Which certificate authorities a TLS connection is checked against when it names none.
#pragma once

#include <string>

namespace quillet::platform {

// "" where the system's own TLS checks certificates against the system's authorities.
// Otherwise a file of the authorities to check against: Wine's Schannel accepts every
// certificate, so a Windows build running under Wine names the Linux system's bundle.
std::string system_certificate_authorities_file();

}  // namespace quillet::platform
