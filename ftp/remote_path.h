// Remote path text, GBK-aware: a byte 0x5C or a letter inside a double-byte character
// is never taken for a separator or folded.
#pragma once

#include <string>

namespace quillet::ftp {

// The last component as a path-name search finds it: after the last "\", "/" or ":"
// that is followed by something other than a separator ("/a/b//" gives "b//").
std::string final_component(const std::string& path);
// Strips "\" and "/" from both ends until nothing changes.
std::string trim_separators(const std::string& text);
// ASCII letters to lower case.
std::string fold_lower(const std::string& text);
bool names_equal(const std::string& a, const std::string& b, bool case_sensitive);
// `path` taken against `current_directory` when relative.
std::string absolute_path(const std::string& current_directory, const std::string& path);
// Joins with one "/".
std::string join_remote(const std::string& directory, const std::string& name);

}  // namespace quillet::ftp
