// The update service's replies: fields separated by "|".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet::net {

// Splits at "|" character by character: the second byte of a double-byte GBK character
// may be "|" and is not a separator there. An empty last field is dropped, and an
// empty reply has no field.
std::vector<std::string> split_reply(std::string_view reply);

}  // namespace quillet::net
