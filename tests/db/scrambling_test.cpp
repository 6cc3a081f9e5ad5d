#include <gtest/gtest.h>

#include "db/hooks.h"
#include "db/keyed_file.h"
#include "db/result_code.h"
#include "db/scrambling.h"
#include "db_test_support.h"

namespace quillet::db {
namespace {

using testing::DbTest;
using testing::le32;

class ScramblingTest : public DbTest {};

TEST_F(ScramblingTest, DigestIsMd5BytesReversedHighDigitFirst) {
    // MD5("abc") = 900150983cd24fb0d6963f7d28e17f72
    EXPECT_EQ(access_digest("abc"), "727fe1287d3f96d6b04fd23c98500190");
}

TEST_F(ScramblingTest, TransformDependsOnlyOnPosition) {
    auto key = ScrambleKey::for_password("secret");
    std::vector<std::uint8_t> whole(8000, 0x5A);
    key->apply(4, whole.data(), whole.size());
    std::vector<std::uint8_t> alone(10, 0x5A);
    key->apply(4100, alone.data(), alone.size());
    EXPECT_TRUE(std::equal(alone.begin(), alone.end(), whole.begin() + 4096));
    // The magic stays plain, the transform is its own inverse.
    std::vector<std::uint8_t> head(8, 0x11);
    key->apply(0, head.data(), head.size());
    EXPECT_EQ(head[3], 0x11);
    EXPECT_NE(head[4], 0x11);
    key->apply(0, head.data(), head.size());
    EXPECT_EQ(head, std::vector<std::uint8_t>(8, 0x11));
    // A fresh key (nothing cached) gives the same bytes.
    ScrambleKey fresh("secret");
    std::vector<std::uint8_t> again(10, 0x5A);
    fresh.apply(4100, again.data(), again.size());
    EXPECT_EQ(again, alone);
}

TEST_F(ScramblingTest, PasswordSetChangedAndRemoved) {
    const std::string file = make_store("data.edb", 3, "A");
    std::string bytes = bytes_of(file);
    EXPECT_EQ(bytes.substr(0, 4), "WCDB");
    EXPECT_EQ(bytes.find("http://x/"), std::string::npos);

    EXPECT_FALSE(open(file));
    EXPECT_EQ(last_database_error(), -78);
    OpenOptions with_a;
    with_a.password = "A";
    ASSERT_TRUE(open(file, with_a));
    EXPECT_EQ(std::get<std::string>(read_field("网址")), "http://x/1");
    EXPECT_FALSE(set_access_password("?"));
    EXPECT_EQ(last_database_error(), -80);
    ASSERT_TRUE(set_access_password("B"));
    close_database(file);
    EXPECT_FALSE(open(file, with_a));
    EXPECT_EQ(last_database_error(), -78);
    OpenOptions with_b;
    with_b.password = "B";
    ASSERT_TRUE(open(file, with_b));
    ASSERT_TRUE(skip_records(2));
    EXPECT_EQ(std::get<std::string>(read_field("网址")), "http://x/3");
    ASSERT_TRUE(set_access_password(""));
    close_database(file);

    bytes = bytes_of(file);
    EXPECT_EQ(bytes.substr(0, 4), "WEDB");
    EXPECT_EQ(bytes.substr(28, 36), std::string(36, '\0'));
    EXPECT_NE(bytes.find("http://x/3"), std::string::npos);
    EXPECT_EQ(le32(bytes, 24), 1283);
}

TEST_F(ScramblingTest, DigestStoredInUpperCaseIsAccepted) {
    const std::string file = make_store("data.edb", 1, "pw");
    std::string bytes = bytes_of(file);
    // Unscramble the digest area, upper-case it, scramble it back.
    auto key = ScrambleKey::for_password("pw");
    auto* area = reinterpret_cast<std::uint8_t*>(bytes.data() + 28);
    key->apply(28, area, 32);
    for (int i = 0; i < 32; ++i) area[i] = static_cast<std::uint8_t>(std::toupper(area[i]));
    key->apply(28, area, 32);
    write_bytes(file, bytes);
    OpenOptions options;
    options.password = "pw";
    EXPECT_TRUE(open(file, options));
}

TEST_F(ScramblingTest, PromptGivesThreeTriesAndCancelStops) {
    const std::string file = make_store("data.edb", 1, "right");
    std::vector<int> asked;
    std::vector<std::string> answers = {"wrong", "", "right"};
    set_password_prompt([&](int tries_left, std::string* password) {
        asked.push_back(tries_left);
        *password = answers[asked.size() - 1];
        return true;
    });
    OpenOptions prompt;
    prompt.ask_password = true;
    ASSERT_TRUE(open(file, prompt));
    EXPECT_EQ(asked, (std::vector<int>{3, 2, 1}));
    close_database(file);

    asked.clear();
    answers = {"a", "b", "c"};
    EXPECT_FALSE(open(file, prompt));
    EXPECT_EQ(last_database_error(), -78);
    EXPECT_EQ(asked.size(), 3u);

    asked.clear();
    set_password_prompt([&](int tries_left, std::string*) {
        asked.push_back(tries_left);
        return false;
    });
    EXPECT_FALSE(open(file, prompt));
    EXPECT_EQ(last_database_error(), -78);
    EXPECT_EQ(asked.size(), 1u);
    set_password_prompt(nullptr);
}

}  // namespace
}  // namespace quillet::db
