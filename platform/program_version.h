// The program's version as the build states it (major.minor.patch), for --version, the
// packages and the update request.
#pragma once

#include <string_view>

namespace quillet::platform {

std::string_view program_version();

}  // namespace quillet::platform
