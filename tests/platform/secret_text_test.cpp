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

TEST(SecretTextTest, CopiesAreEqualAndMovedFromObjectsKeepNoBytes) {
    SecretText original(std::string("short"));
    SecretText copy = original;
    EXPECT_EQ(copy.text(), "short");
    SecretText moved(std::move(original));
    EXPECT_EQ(moved.text(), "short");
    EXPECT_TRUE(original.text().empty());  // NOLINT(bugprone-use-after-move): checking what is left
    EXPECT_TRUE(buffer_is_zero(original.text()));

    SecretText assigned(std::string(40, 'y'));
    assigned = std::move(copy);
    EXPECT_EQ(assigned.text(), "short");
    EXPECT_TRUE(buffer_is_zero(copy.text()));  // NOLINT(bugprone-use-after-move)
    assigned = assigned;
    EXPECT_EQ(assigned.text(), "short");
}

}  // namespace
}  // namespace quillet::platform
