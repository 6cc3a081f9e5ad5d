// Opening a file as the credential store: data.edb itself, and every file that may take
// its place (the server's copy, the sync base).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/database_handle.h"
#include "platform/status.h"

namespace quillet::app {

// The code of a file that opens but is laid out otherwise than the credential table; the
// engine's own codes are negative.
inline constexpr std::int32_t kForeignLayout = 1;
// What such a refusal says first; its message goes on to say what differs.
inline constexpr char kForeignStoreText[] = "数据文件的字段结构不对，无法使用";

// Opens `path` with `password` into `*out` and checks that its fields are the credential
// table's exactly (names, types, widths, in order, back to back after the serial). A file
// laid out otherwise is closed again and refused with kForeignLayout and a message that
// says what differs: the record commands would read the wrong bytes or none.
platform::Status open_credential_store(const std::string& path, std::string_view password, db::Database* out,
                                       bool read_only = false);

// True when the file is a complete data file that opens as the credential store with
// `password` (see above) and whose every record reads back.
bool is_usable_database(const std::string& path, std::string_view password);

}  // namespace quillet::app
