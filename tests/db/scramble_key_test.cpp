// The scrambling transform applied to a range in one call must equal it applied a byte at
// a time, whatever the range's alignment, length and block boundaries.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "db/scrambling.h"

namespace quillet::db {
namespace {

TEST(ScrambleKeyTest, RangesEqualTheirBytesScrambledOneByOne) {
    ScrambleKey key("口令 word");
    std::vector<std::uint8_t> plain(9000);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 131 + 7);
    std::vector<std::uint8_t> one_by_one = plain;
    for (std::size_t i = 0; i < one_by_one.size(); ++i) key.apply(static_cast<std::int64_t>(i), &one_by_one[i], 1);

    // Starts at every alignment near the scrambling start and a block boundary; lengths
    // with and without a tail of fewer than eight bytes, and across a block boundary.
    for (const std::size_t start : {0, 1, 3, 4, 5, 8, 11, 4089, 4093, 4096, 4099}) {
        for (const std::size_t length : {0, 1, 7, 8, 9, 15, 16, 63, 1283, 4100}) {
            std::vector<std::uint8_t> range(plain.begin() + start, plain.begin() + start + length);
            key.apply(static_cast<std::int64_t>(start), range.data(), range.size());
            EXPECT_TRUE(std::equal(range.begin(), range.end(), one_by_one.begin() + start))
                << "start " << start << " length " << length;
        }
    }
    // Bytes below the scrambling start stay plain.
    EXPECT_EQ(std::vector<std::uint8_t>(one_by_one.begin(), one_by_one.begin() + 4),
              std::vector<std::uint8_t>(plain.begin(), plain.begin() + 4));
}

TEST(ScrambleKeyTest, RecentKeysAreSharedUntilForgotten) {
    const auto first = ScrambleKey::for_password("secret");
    EXPECT_EQ(ScrambleKey::for_password("secret"), first);
    EXPECT_NE(ScrambleKey::for_password("other"), first);

    ScrambleKey::forget_recent();
    const auto after = ScrambleKey::for_password("secret");
    EXPECT_NE(after, first);
    EXPECT_EQ(after->digest(), first->digest());
}

}  // namespace
}  // namespace quillet::db
