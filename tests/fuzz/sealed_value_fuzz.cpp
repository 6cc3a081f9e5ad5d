// Any bytes as data.ini's vault, ftp.ini's sealed password or a typed recovery code:
// parsing never fails hard, what a parsed value formats to reads back the same, and nothing
// opens under a key that did not seal it. No key is derived: a doctored cost would only
// make the fuzzer slow, and parse_recipe's bounds are what keep it from stalling a login.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/ftp_password.h"
#include "app/password_vault.h"
#include "app/recovery_code.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const platform::LockedBytes key(std::string_view("0123456789abcdef0123456789abcdef"));
    platform::LockedBytes opened;

    app::PasswordVault vault;
    if (app::parse_vault(text, &vault)) {
        // Numbers and base64 have more than one spelling; what is written must read back as written.
        const std::string written = app::format_vault(vault);
        app::PasswordVault again;
        if (!app::parse_vault(written, &again) || app::format_vault(again) != written) std::abort();
        if (app::kept_password(vault, key, &opened)) std::abort();
    }
    app::FtpKey ftp_key{platform::KeyRecipe{1, 8, std::string(16, 'x')}, key};
    app::is_sealed_ftp_value(text);
    if (app::open_ftp_password(ftp_key, text, &opened)) std::abort();
    if (const auto code = app::normalized_recovery_code(text); code && code->size() != 28) std::abort();
    return 0;
}
