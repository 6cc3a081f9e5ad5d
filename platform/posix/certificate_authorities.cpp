#include "platform/certificate_authorities.h"

namespace quillet::platform {

// OpenSSL checks against the system's bundle by itself.
std::string system_certificate_authorities_file() { return {}; }

}  // namespace quillet::platform
