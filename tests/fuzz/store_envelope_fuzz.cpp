// Any bytes as a sealed store from a server: opening never fails hard, refuses everything
// not sealed under the password, and what does open seals and opens again to the same
// store and revision. Any bytes as a store seal and open back unchanged. A cost the
// envelope may carry is lowered to the cheapest before opening, so that each input costs
// microseconds; a cost outside the bounds stays, since refusing it unread is what is checked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/store_envelope.h"
#include "platform/sealing.h"

namespace {

// "登录Login1" in GBK, the password the seeds were sealed under.
constexpr std::string_view kPassword = "\xb5\xc7\xc2\xbcLogin1";
constexpr std::size_t kCostAt = 8;
constexpr std::size_t kSaltAt = 16;

std::uint32_t number_at(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillet;
    platform::set_new_key_cost(1, 8);
    std::string input(reinterpret_cast<const char*>(data), size);
    if (input.size() >= kSaltAt + 16) {
        const platform::KeyRecipe recipe{number_at(input, kCostAt), number_at(input, kCostAt + 4),
                                         input.substr(kSaltAt, 16)};
        if (platform::is_acceptable_recipe(recipe)) input.replace(kCostAt, 8, std::string("\1\0\0\0\x08\0\0\0", 8));
    }

    std::uint64_t revision = 0;
    platform::LockedBytes store;
    if (app::open_store_envelope(input, kPassword, &revision, &store).ok()) {
        std::string again;
        std::uint64_t revision_again = 0;
        platform::LockedBytes store_again;
        if (!app::seal_store(store.view(), kPassword, revision, &again).ok() ||
            !app::open_store_envelope(again, kPassword, &revision_again, &store_again).ok() ||
            revision_again != revision || store_again.view() != store.view()) {
            std::abort();
        }
    }

    std::string sealed;
    if (!app::seal_store(input, kPassword, size, &sealed).ok() ||
        !app::open_store_envelope(sealed, kPassword, &revision, &store).ok() || store.view() != input ||
        revision != size || app::open_store_envelope(sealed, "other", &revision, &store).ok()) {
        std::abort();
    }
    return 0;
}
