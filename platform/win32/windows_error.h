// The one place where a Windows error code becomes a file failure kind.
#pragma once

#include "platform/file_error.h"

namespace quillet::platform {

FileError file_error_from_windows(unsigned long error_code);

}  // namespace quillet::platform
