#include "platform/sodium_ready.h"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>

namespace quillet::platform {

void ensure_sodium_ready() {
    // sodium_init is safe to call from several threads; a failure means the system
    // gives no random numbers, and sealing secrets without them is worse than stopping.
    static const bool ready = [] {
        if (sodium_init() < 0) {
            std::fputs("the cryptography library could not start\n", stderr);
            std::abort();
        }
        return true;
    }();
    (void)ready;
}

}  // namespace quillet::platform
