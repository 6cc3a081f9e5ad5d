// Key derivations at the lowest cost, for tests that make many: every sealed value keeps
// the cost it was made with, so nothing else behaves differently.
#pragma once

#include "platform/sealing.h"

namespace quillet::testing_support {

inline void use_cheap_key_derivations() { platform::set_new_key_cost(1, 8); }

}  // namespace quillet::testing_support
