#include "platform/secure_random.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace quillet::platform {
namespace {

TEST(SecureRandomTest, StaysBelowTheBoundIncludingTheExtremes) {
    EXPECT_EQ(secure_random_below(1), 0u);
    for (int i = 0; i < 1000; ++i) EXPECT_LT(secure_random_below(3), 3u);
    for (int i = 0; i < 100; ++i) EXPECT_LT(secure_random_below(0x80000001u), 0x80000001u);
    std::uint32_t any_high_bit = 0;
    for (int i = 0; i < 64; ++i) any_high_bit |= secure_random_below(0xFFFFFFFFu) & 0x80000000u;
    EXPECT_NE(any_high_bit, 0u);
}

TEST(SecureRandomTest, EveryValueOfASmallRangeTurnsUp) {
    // 94 is the size of the printable character pool; with 20000 draws a missing value
    // has probability far below 1e-80, so this cannot flake.
    std::array<int, 94> seen{};
    for (int i = 0; i < 20000; ++i) ++seen[secure_random_below(94)];
    for (int count : seen) EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace quillet::platform
