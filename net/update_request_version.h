// The version text the update request sends: the service compares it in the form
// major.minor.patch with a two-digit patch ("1.0.01" for 1.0.1), so that form stays.
#pragma once

#include <string>
#include <string_view>

namespace quillet::net {

// "1.0.1" -> "1.0.01", "2.3.12" -> "2.3.12". A version without a patch number counts it
// as 0; text that is not numbers separated by dots is returned unchanged.
std::string update_request_version(std::string_view version);

}  // namespace quillet::net
