// Without a desktop layer linked in (this test program has none), the clipboard, hot keys
// and typist refuse quietly, and a test's replacement takes over until it is removed.
#include "platform/desktop_registry.h"

#include <gtest/gtest.h>

#include "platform/recording_clipboard.h"
#include "platform/recording_hot_keys.h"
#include "platform/recording_typist.h"

namespace quillet::platform {
namespace {

TEST(DesktopRegistryTest, WithoutDesktopNothingIsCopiedGrabbedOrTyped) {
    EXPECT_FALSE(clipboard().set_text("secret", Sensitivity::kSecret));
    clipboard().clear_secret();
    EXPECT_FALSE(hot_keys().grab(HotKey::kF1, [] {}));
    hot_keys().release(HotKey::kF1);
    EXPECT_EQ(typist().window_under_pointer(), 0u);
    typist().type_text(1, "text");
    typist().press_tab();
}

TEST(DesktopRegistryTest, ReplacementWinsUntilRemoved) {
    RecordingClipboard recorded_clipboard;
    RecordingHotKeys recorded_keys;
    RecordingTypist recorded_typist;
    set_clipboard(&recorded_clipboard);
    set_hot_keys(&recorded_keys);
    set_typist(&recorded_typist);
    EXPECT_TRUE(clipboard().set_text("A", Sensitivity::kPlain));
    EXPECT_TRUE(hot_keys().grab(HotKey::kF2, [] {}));
    typist().type_text(3, "B");
    EXPECT_EQ(recorded_clipboard.content(), "A");
    EXPECT_TRUE(recorded_keys.is_held(HotKey::kF2));
    EXPECT_EQ(recorded_typist.actions().size(), 1u);

    set_clipboard(nullptr);
    set_hot_keys(nullptr);
    set_typist(nullptr);
    EXPECT_FALSE(clipboard().set_text("A", Sensitivity::kPlain));
    EXPECT_FALSE(hot_keys().grab(HotKey::kF2, [] {}));
}

}  // namespace
}  // namespace quillet::platform
