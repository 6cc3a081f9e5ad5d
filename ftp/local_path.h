// Helpers on local file paths and dates for the dated backup taken before a download.
// GBK texts in and out, no state. Paths may be Windows-style (C:\dir\name.edb) or, on
// Linux, absolute paths beginning with "/".
#pragma once

#include <string>

namespace quillet::ftp {

// The date part from `date_picture` followed directly by the time part from
// `time_picture`. A picture shorter than 3 bytes gives an empty part; an unconvertible
// value gives empty text. Pictures: d dd ddd dddd, M MM MMM MMMM, y yy yyyy, g gg,
// h hh H HH m mm s ss t tt, and 'quoted text'; other characters stand for themselves.
// With `force_24_hour`, h and hh count 24 hours and t/tt are left out.
std::string format_date_time(double date_time, const std::string& date_picture = "",
                             const std::string& time_picture = "", bool force_24_hour = false);

// A plausible local file path: drive letter and ":\" or ":/" (or a Linux absolute path),
// a non-empty final component without illegal characters and, unless the extension is
// optional, a "." strictly inside the final component.
bool is_valid_file_path(const std::string& path, bool extension_optional = true);

// The final component (empty when it begins with "\"), with or without its extension.
std::string file_name_part(const std::string& path, bool with_extension);

// From the last "." of the final component, dot included; empty when there is none.
std::string extension_part(const std::string& path);

// True when the name holds any of ? / \ < > * | : "
bool has_illegal_name_character(const std::string& name);

}  // namespace quillet::ftp
