// Directory listings as FTP servers send them: MLSD lines ("facts; name") and LIST lines
// in the Unix ("drwxr-xr-x ... Oct  6 12:00 name") and DOS ("10-06-21 12:00PM <DIR> name")
// shapes. Times are taken as the server states them, without a time-zone change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace quillet::ftp {

struct ListedEntry {
    std::string name;
    std::uint32_t attributes = 0;  // 0x10 directory, 0x80 normal file
    std::int64_t size = 0;
    double last_write_time = 0;  // date-time value, 0 when the server gave none
};

// Splits a listing body into lines (CR LF or LF) and parses each; lines that are not
// entries (a "total" line, blank lines) are skipped. `now` dates year-less LIST times.
std::vector<ListedEntry> parse_mlsd(const std::string& body);
std::vector<ListedEntry> parse_list(const std::string& body, const platform::LocalTime& now);

}  // namespace quillet::ftp
