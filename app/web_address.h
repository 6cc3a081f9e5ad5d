// Which record addresses "访问" may hand to the desktop: web addresses only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillet::app {

// http, https and ftp addresses as they are; an address without a scheme gets
// "http://" in front. Anything else (a local path, file:, javascript:, a program name
// with arguments) gives nothing.
std::optional<std::string> web_address_to_open(std::string_view address);

}  // namespace quillet::app
