// The recovery code: the one way back in when the login password is forgotten. 140
// random bits shown as seven groups of four characters from an alphabet without
// look-alikes (no 0/O, 1/I/L).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillet::app {

// "ABCD-EFGH-..." as it is shown to the user.
std::string new_recovery_code();
// The code as typed (any letter case, with or without spaces and dashes) in the form
// that keys are derived from; nothing when it cannot be a recovery code.
std::optional<std::string> normalized_recovery_code(std::string_view typed);

}  // namespace quillet::app
