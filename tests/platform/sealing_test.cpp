#include "platform/sealing.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet::platform {
namespace {

// Cheap derivations: the cost is part of every recipe, so nothing else changes.
KeyRecipe cheap_recipe() {
    set_new_key_cost(1, 8);
    KeyRecipe recipe = new_key_recipe();
    set_new_key_cost(kDefaultPasses, kDefaultMemoryKib);
    return recipe;
}

LockedBytes key_from(std::string_view secret, const KeyRecipe& recipe) {
    LockedBytes key;
    EXPECT_TRUE(derive_key(secret, recipe, &key));
    return key;
}

TEST(SealingTest, ASealedSecretOpensOnlyWithTheSameKeyAndLabel) {
    const KeyRecipe recipe = cheap_recipe();
    const LockedBytes key = key_from("口令", recipe);
    const std::string sealed = seal(key, "ftp-密码", "ftp.password");

    LockedBytes plain;
    ASSERT_TRUE(open_sealed(key_from("口令", recipe), sealed, "ftp.password", &plain));
    EXPECT_EQ(plain.view(), "ftp-密码");
    EXPECT_FALSE(open_sealed(key_from("口令2", recipe), sealed, "ftp.password", &plain));
    EXPECT_FALSE(open_sealed(key, sealed, "ftp.name", &plain));
    EXPECT_FALSE(open_sealed(key_from("口令", cheap_recipe()), sealed, "ftp.password", &plain)) << "another salt";

    std::string tampered = sealed;
    tampered.back() = tampered.back() == 'A' ? 'B' : 'A';
    EXPECT_FALSE(open_sealed(key, tampered, "ftp.password", &plain));
    for (const char* malformed : {"", ".", "abc", "a.b.c", "!!!.???"}) {
        EXPECT_FALSE(open_sealed(key, malformed, "ftp.password", &plain)) << malformed;
    }
}

TEST(SealingTest, EachSealUsesAFreshNonceAndAnEmptySecretRoundTrips) {
    const LockedBytes key = random_key();
    EXPECT_NE(seal(key, "same", "l"), seal(key, "same", "l"));
    LockedBytes plain(std::string_view("left over"));
    ASSERT_TRUE(open_sealed(key, seal(key, "", "l"), "l", &plain));
    EXPECT_TRUE(plain.empty());
}

TEST(SealingTest, RecipesRoundTripAndRefuseCostsNoMachineOfOursWouldChoose) {
    const KeyRecipe recipe = cheap_recipe();
    KeyRecipe parsed;
    ASSERT_TRUE(parse_recipe(format_recipe(recipe), &parsed));
    EXPECT_EQ(parsed, recipe);
    const std::string salt(split_at_dots(format_recipe(recipe))[2]);
    EXPECT_TRUE(parse_recipe("3.65536." + salt, &parsed));
    for (const std::string& bad : std::initializer_list<std::string>{"0.65536." + salt, "3.4." + salt, "65.65536." + salt, "3.1048577." + salt,
                                   std::string("3.65536"), "3.65536." + salt + ".x", std::string("3.65536.c2FsdA"), "-3.65536." + salt,
                                   "3x.65536." + salt, "99999999999.65536." + salt}) {
        EXPECT_FALSE(parse_recipe(bad, &parsed)) << bad;
    }
}

TEST(SealingTest, AKnownValueStillOpens) {
    // Sealed once by this code; a change of format or algorithm would lock users out.
    const KeyRecipe recipe{1, 8, std::string(16, '\x5a')};
    const std::string sealed = "rA_m2R8mae7VzNEJpkZ5BcFug5cBFJ2p.lvguYZls79Yh4t-k5cPahZN00ieMzg";
    LockedBytes plain;
    ASSERT_TRUE(open_sealed(key_from("password", recipe), sealed, "label", &plain));
    EXPECT_EQ(plain.view(), "secret");
}

TEST(SealingTest, TheRawFormBindsItsLabelAndRefusesAnythingCutShort) {
    const LockedBytes key = random_key();
    const std::string header(80, '\x07');
    const std::string sealed = seal_bytes(key, "a whole store", header);
    ASSERT_EQ(sealed.size(), std::string_view("a whole store").size() + kSealOverhead);

    LockedBytes plain;
    ASSERT_TRUE(open_sealed_bytes(key, sealed, header, &plain));
    EXPECT_EQ(plain.view(), "a whole store");
    EXPECT_FALSE(open_sealed_bytes(key, sealed, header.substr(1), &plain));
    for (std::size_t size = 0; size < sealed.size(); ++size) {
        EXPECT_FALSE(open_sealed_bytes(key, std::string_view(sealed).substr(0, size), header, &plain)) << size;
    }
    EXPECT_TRUE(open_sealed_bytes(key, seal_bytes(key, "", ""), "", &plain));
    EXPECT_TRUE(plain.empty());
}

TEST(LockedBytesTest, CopiesAndMovesKeepTheBytesAndEmptyTheSource) {
    LockedBytes original(std::string_view("key bytes"));
    LockedBytes copy = original;
    EXPECT_EQ(copy.view(), "key bytes");
    LockedBytes moved = std::move(original);
    EXPECT_EQ(moved.view(), "key bytes");
    EXPECT_TRUE(original.empty());  // NOLINT(bugprone-use-after-move)
    copy = moved;
    EXPECT_EQ(copy.view(), "key bytes");
}

}  // namespace
}  // namespace quillet::platform
