#include "platform/program_version.h"

#ifndef QUILLET_VERSION
#error "QUILLET_VERSION names the program's version (the project's VERSION)"
#endif

namespace quillet::platform {

std::string_view program_version() { return QUILLET_VERSION; }

}  // namespace quillet::platform
