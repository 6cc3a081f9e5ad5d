#include "app/clipboard_hold.h"

#include <gtest/gtest.h>

#include "platform/manual_clock.h"
#include "platform/recording_clipboard.h"

namespace quillet::app {
namespace {

using platform::Sensitivity;

class ClipboardHoldTest : public testing::Test {
  protected:
    void SetUp() override {
        platform::set_clock(&clock_);
        platform::set_clipboard(&clipboard_);
        clock_.set_tick_count_ms(0xFFFFF000u);  // the wait crosses the tick count's wrap
    }
    void TearDown() override {
        platform::set_clipboard(nullptr);
        platform::set_clock(nullptr);
    }

    // Serving moves the clock; `at_ms` runs `event` once that much time has passed.
    HoldWaits waits(std::uint32_t at_ms = 0, std::function<void()> event = {}) {
        return {[this] { ++copied_; },
                [this, at_ms, event](int ms) {
                    served_ms_ += static_cast<std::uint32_t>(ms);
                    clock_.advance(static_cast<std::uint32_t>(ms));
                    if (event && served_ms_ >= at_ms && !fired_) {
                        fired_ = true;
                        event();
                    }
                },
                [this] { return interrupted_; }};
    }

    platform::ManualClock clock_;
    platform::RecordingClipboard clipboard_;
    std::uint32_t served_ms_ = 0;
    int copied_ = 0;
    bool fired_ = false;
    bool interrupted_ = false;
};

TEST_F(ClipboardHoldTest, SecretStaysThirtySecondsThenIsTakenOff) {
    bool held_meanwhile = false;
    EXPECT_EQ(hold_on_clipboard("pw", Sensitivity::kSecret,
                                waits(29000, [&] { held_meanwhile = clipboard_.content() == "pw"; })),
              HoldEnd::kExpired);
    EXPECT_TRUE(held_meanwhile);
    EXPECT_EQ(served_ms_, 30000u);
    EXPECT_EQ(copied_, 1);
    EXPECT_EQ(clipboard_.content(), "");
    ASSERT_EQ(clipboard_.copies().size(), 1u);
    EXPECT_EQ(clipboard_.copies()[0].sensitivity, Sensitivity::kSecret);
}

TEST_F(ClipboardHoldTest, SomethingCopiedElsewhereEndsTheHoldAndIsLeftAlone) {
    EXPECT_EQ(
        hold_on_clipboard("pw", Sensitivity::kSecret, waits(5000, [this] { clipboard_.copy_from_elsewhere("mine"); })),
        HoldEnd::kReplaced);
    EXPECT_LT(served_ms_, 6000u);
    EXPECT_EQ(clipboard_.content(), "mine");
}

TEST_F(ClipboardHoldTest, InterruptionTakesTheSecretOffAtOnce) {
    EXPECT_EQ(hold_on_clipboard("pw", Sensitivity::kSecret, waits(1000, [this] { interrupted_ = true; })),
              HoldEnd::kInterrupted);
    EXPECT_LE(served_ms_, 1100u);
    EXPECT_EQ(clipboard_.content(), "");
}

TEST_F(ClipboardHoldTest, PlainTextIsHeldButNeverCleared) {
    EXPECT_EQ(hold_on_clipboard("alice", Sensitivity::kPlain, waits()), HoldEnd::kExpired);
    EXPECT_EQ(served_ms_, 30000u);
    EXPECT_EQ(clipboard_.content(), "alice");
}

TEST_F(ClipboardHoldTest, RefusedCopyWaitsForNothing) {
    platform::set_clipboard(nullptr);  // no desktop layer registered in this test: copies fail
    EXPECT_EQ(hold_on_clipboard("pw", Sensitivity::kSecret, waits()), HoldEnd::kNotCopied);
    EXPECT_EQ(served_ms_, 0u);
    EXPECT_EQ(copied_, 0);
}

}  // namespace
}  // namespace quillet::app
