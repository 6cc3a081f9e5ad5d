#include "platform/secret_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace quillet::platform {
namespace {

// The string keeps its buffer after a wipe, so the bytes it held can be looked at.
bool buffer_is_zero(const std::string& text) {
    for (std::size_t i = 0; i < text.capacity(); ++i) {
        if (text.data()[i] != '\0') return false;
    }
    return true;
}

TEST(WipeSecretTest, OverwritesTheWholeBufferIncludingWhatAShorterValueLeftBehind) {
    std::string text(100, 'x');
    text.assign("ab");  // the old bytes stay in the spare capacity
    const std::size_t capacity = text.capacity();
    wipe_secret(text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(text.capacity(), capacity) << "the buffer was not reused, so the check below is meaningless";
    EXPECT_TRUE(buffer_is_zero(text));

    std::string short_text = "pw";  // inside the string object itself
    wipe_secret(short_text);
    EXPECT_TRUE(buffer_is_zero(short_text));
}

TEST(SecretTextTest, CopiesAreEqualMovedFromObjectsAreEmptyAndTheSourceStringIsWiped) {
    std::string source(40, 's');
    source.assign("short");
    SecretText original(std::move(source));
    EXPECT_TRUE(buffer_is_zero(source));  // NOLINT(bugprone-use-after-move): the constructor wiped it
    SecretText copy = original;
    EXPECT_EQ(copy.text(), "short");
    SecretText moved(std::move(original));
    EXPECT_EQ(moved.text(), "short");
    EXPECT_TRUE(original.empty());  // NOLINT(bugprone-use-after-move): checking what is left

    SecretText assigned(std::string(40, 'y'));
    assigned = std::move(copy);
    EXPECT_EQ(assigned.text(), "short");
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move)
    assigned = assigned;
    EXPECT_EQ(assigned.text(), "short");
    assigned = SecretText();
    EXPECT_TRUE(assigned.empty());
}

}  // namespace
}  // namespace quillet::platform
