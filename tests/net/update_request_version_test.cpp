#include "net/update_request_version.h"

#include <gtest/gtest.h>

namespace quillet::net {
namespace {

TEST(UpdateRequestVersionTest, WritesThePatchWithTwoDigits) {
    EXPECT_EQ(update_request_version("1.0.1"), "1.0.01");
    EXPECT_EQ(update_request_version("2.3.0"), "2.3.00");
    EXPECT_EQ(update_request_version("1.0.12"), "1.0.12");
    EXPECT_EQ(update_request_version("1.0.123"), "1.0.123");
    EXPECT_EQ(update_request_version("10.20"), "10.20.00");
}

TEST(UpdateRequestVersionTest, LeavesTextThatIsNoVersionAlone) {
    EXPECT_EQ(update_request_version(""), "");
    EXPECT_EQ(update_request_version("1"), "1");
    EXPECT_EQ(update_request_version("1.0.1-rc1"), "1.0.1-rc1");
    EXPECT_EQ(update_request_version("1..1"), "1..1");
    EXPECT_EQ(update_request_version("1.0.1.4"), "1.0.1.4");
}

}  // namespace
}  // namespace quillet::net
