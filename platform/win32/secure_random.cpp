#include <windows.h>
#include <bcrypt.h>

#include <cstdlib>

#include "platform/secure_random.h"

namespace quillet::platform {

std::uint32_t secure_random_word() {
    std::uint32_t word = 0;
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&word), sizeof word,
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        std::abort();
    }
    return word;
}

}  // namespace quillet::platform
