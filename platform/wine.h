// Whether this Windows build runs under Wine on another system, whose Windows services
// differ in ways that matter: it keeps no DACLs on Linux file systems, and its Schannel
// checks no certificates by itself.
#pragma once

namespace quillet::platform {

bool running_under_wine();

}  // namespace quillet::platform
