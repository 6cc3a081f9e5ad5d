// Files that hold secrets in clear (an export for another program): readable by their
// owner only from the first byte on, and never left half-written.
#pragma once

#include <string>
#include <string_view>

namespace quillet::platform {

// Writes `bytes` to `path` (GBK) with owner-only access. The bytes go to a temporary file
// first and appear under `path` whole. Without `replace` an existing entry at `path` is
// left alone and the write fails; with it, a file there is replaced atomically.
bool write_private_file(const std::string& path, std::string_view bytes, bool replace);

}  // namespace quillet::platform
