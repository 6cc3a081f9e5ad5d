#include "app/password_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <set>
#include <string>

namespace quillet::app {
namespace {

constexpr std::string_view kSymbols = "!@#$%^&*+-";

bool is_symbol(char c) { return kSymbols.find(c) != std::string_view::npos; }

PasswordComposition count_classes(const std::string& password) {
    PasswordComposition counted;
    for (char c : password) {
        if (std::isalpha(static_cast<unsigned char>(c))) {
            ++counted.letters;
        } else if (is_symbol(c)) {
            ++counted.symbols;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            ++counted.digits;
        } else {
            ADD_FAILURE() << "unexpected character " << int(c);
        }
    }
    return counted;
}

struct Case {
    int length;
    bool letters;
    bool symbols;
    PasswordComposition expected;
};

TEST(PasswordGeneratorTest, SharesFollowTheLengthAndTheChosenClasses) {
    const Case cases[] = {
        {0, true, true, {0, 0, 0}},   {0, false, false, {0, 0, 0}}, {1, true, true, {0, 0, 1}},
        {1, true, false, {0, 0, 1}},  {1, false, true, {0, 0, 1}},  {1, false, false, {0, 0, 1}},
        {3, true, true, {1, 1, 1}},   {3, true, false, {1, 0, 2}},  {3, false, true, {0, 1, 2}},
        {3, false, false, {0, 0, 3}}, {8, true, true, {4, 2, 2}},   {8, true, false, {4, 0, 4}},
        {8, false, true, {0, 4, 4}},  {8, false, false, {0, 0, 8}}, {10, true, true, {5, 2, 3}},
        {10, true, false, {5, 0, 5}}, {10, false, true, {0, 5, 5}}, {10, false, false, {0, 0, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "length " << c.length << " letters " << c.letters << " symbols "
                                        << c.symbols);
        const std::string password = generate_password(c.length, c.letters, c.symbols);
        ASSERT_EQ(password.size(), static_cast<std::size_t>(c.length));
        const PasswordComposition counted = count_classes(password);
        EXPECT_EQ(counted.letters, c.expected.letters);
        EXPECT_EQ(counted.symbols, c.expected.symbols);
        EXPECT_EQ(counted.digits, c.expected.digits);
    }
}

TEST(PasswordGeneratorTest, NonPositiveAndOverlongLengthsGiveNothing) {
    EXPECT_EQ(generate_password(-5, true, true), "");
    EXPECT_EQ(generate_password(INT_MIN, true, true), "");
    EXPECT_EQ(generate_password(kMaxGeneratedLength + 1, false, false), "");
    EXPECT_EQ(generate_password(INT_MAX, true, true), "");
    EXPECT_EQ(generate_password(kMaxGeneratedLength, true, true).size(), 123u);
    const PasswordComposition negative = password_composition(-7, true, true);
    EXPECT_EQ(negative.letters + negative.symbols + negative.digits, 0);
}

// Over many draws every character of every class shows up, and each class reaches every
// position: a missing shuffle or a biased pick would leave gaps.
TEST(PasswordGeneratorTest, DrawsUseEveryCharacterAndEveryPosition) {
    std::set<char> seen;
    std::array<std::set<int>, 8> classes_at_position;  // 0 letter, 1 symbol, 2 digit
    for (int round = 0; round < 2000; ++round) {
        const std::string password = generate_password(8, true, true);
        ASSERT_EQ(password.size(), 8u);
        for (int i = 0; i < 8; ++i) {
            const char c = password[i];
            seen.insert(c);
            classes_at_position[i].insert(std::isalpha(static_cast<unsigned char>(c)) ? 0 : is_symbol(c) ? 1 : 2);
        }
    }
    EXPECT_EQ(seen.size(), 26u + 26u + 10u + 10u);
    for (const auto& classes : classes_at_position) EXPECT_EQ(classes.size(), 3u);
}

// The command line's choices: lower-case letters only, and no digits, whose share then
// moves to the letters (or to the symbols without letters).
TEST(PasswordGeneratorTest, LeftOutClassesNeverAppearAndTheirShareMoves) {
    struct ClassCase {
        PasswordClasses classes;
        PasswordComposition expected;
    };
    const ClassCase cases[] = {
        {{.digits = false}, {6, 2, 0}},
        {{.symbols = false, .digits = false}, {8, 0, 0}},
        {{.letters = false, .digits = false}, {0, 8, 0}},
        {{.letters = false, .symbols = false, .digits = false}, {0, 0, 8}},
        {{.upper = false}, {4, 2, 2}},
    };
    for (const ClassCase& c : cases) {
        for (int round = 0; round < 50; ++round) {
            const std::string password = generate_password(8, c.classes);
            const PasswordComposition counted = count_classes(password);
            EXPECT_EQ(counted.letters, c.expected.letters);
            EXPECT_EQ(counted.symbols, c.expected.symbols);
            EXPECT_EQ(counted.digits, c.expected.digits);
            if (!c.classes.upper) {
                EXPECT_TRUE(std::none_of(password.begin(), password.end(),
                                         [](char ch) { return std::isupper(static_cast<unsigned char>(ch)); }))
                    << password;
            }
        }
    }
}

TEST(PasswordGeneratorTest, LengthTextReadsLeadingSignedDigits) {
    EXPECT_EQ(parse_length(""), 0);
    EXPECT_EQ(parse_length("-"), 0);
    EXPECT_EQ(parse_length("8"), 8);
    EXPECT_EQ(parse_length("08"), 8);
    EXPECT_EQ(parse_length("12-3"), 12);
    EXPECT_EQ(parse_length("-4"), -4);
    EXPECT_EQ(parse_length("--4"), 0);
    EXPECT_EQ(parse_length("99999999999999999999"), INT_MAX);
    EXPECT_EQ(parse_length("-99999999999999999999"), INT_MIN);
}

}  // namespace
}  // namespace quillet::app
