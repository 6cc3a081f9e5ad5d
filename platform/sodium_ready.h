// libsodium's one-time set-up, done before the first use from any thread.
#pragma once

namespace quillet::platform {

void ensure_sodium_ready();

}  // namespace quillet::platform
