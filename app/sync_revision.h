// The revision of the sealed store (data.edb.qlt) this folder last exchanged with its
// server, kept in ftp.ini (key "banben" of section "ftp"), so that a server handing back
// an older copy than one already seen (a restored backup, a replayed file) is noticed.
// An upload seals the last revision plus one; a download or an upload records the
// revision it exchanged. Written by the transfer's thread while the FTP window writes none
// of its own keys, like the trust store.
#pragma once

#include <cstdint>
#include <string>

#include "platform/status.h"

namespace quillet::app {

inline constexpr std::int32_t kOlderRevision = 1;

// 0 when nothing was exchanged yet (or the value is not a revision).
std::uint64_t last_exchanged_revision(const std::string& settings_file);
// False when ftp.ini cannot be written.
bool record_exchanged_revision(const std::string& settings_file, std::uint64_t revision);

// Failure kOlderRevision when the server's `revision` is below `last`: the caller asks the
// user before going on. The same revision is fine (a copy this folder sent or fetched).
platform::Status check_not_older(std::uint64_t revision, std::uint64_t last);

}  // namespace quillet::app
