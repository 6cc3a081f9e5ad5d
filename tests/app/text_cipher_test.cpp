#include "app/text_cipher.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/md5.h"

namespace quillet::app {
namespace {

std::string tag_of(std::string_view key) { return encipher("", key); }

TEST(TextCipherTest, TagIsNineUpperCaseCharactersOfTheKeyDigest) {
    std::string expected = platform::md5_hex("5830264917").substr(2, 9);
    for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(tag_of(kCipherKey), expected);
    EXPECT_EQ(encipher("abc", kCipherKey), "717273" + expected);
}

TEST(TextCipherTest, RoundTripsEveryKindOfText) {
    std::string all_bytes;
    for (int b = 1; b < 256; ++b) all_bytes += static_cast<char>(b);
    for (std::string plain :
         {std::string(), std::string("abc"), std::string("密码ftp.example.com"), std::string("\x10\x10"), all_bytes}) {
        std::string cipher = encipher(plain, kCipherKey);
        EXPECT_EQ(cipher.size(), plain.size() * 2 + 9);
        EXPECT_EQ(decipher(cipher, kCipherKey), plain);
    }
    EXPECT_EQ(encipher("\x10", kCipherKey).substr(0, 2), "00");
}

TEST(TextCipherTest, WrongOrMissingTagGivesEmptyText) {
    std::string cipher = encipher("secret", kCipherKey);
    ASSERT_NE(tag_of("1234567890"), tag_of(kCipherKey));
    EXPECT_EQ(decipher(cipher, "1234567890"), "");
    EXPECT_EQ(decipher(cipher.substr(0, cipher.size() - 1), kCipherKey), "");
    EXPECT_EQ(decipher(tag_of(kCipherKey).substr(1), kCipherKey), "");  // shorter than nine
    EXPECT_EQ(decipher("", kCipherKey), "");
    std::string lowered_tag = cipher;
    for (std::size_t i = cipher.size() - 9; i < cipher.size(); ++i)
        lowered_tag[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(cipher[i])));
    if (lowered_tag != cipher) {
        EXPECT_EQ(decipher(lowered_tag, kCipherKey), "");  // the tag is compared exactly
    }
}

TEST(TextCipherTest, HandEditedBodiesAreReadWithoutFailing) {
    std::string tag = tag_of(kCipherKey);
    EXPECT_EQ(decipher("7172"
                       "7a" +
                           tag,
                       kCipherKey),
              "ab"
              "\x6A");                                                   // lower-case digits
    EXPECT_EQ(decipher("717" + tag, kCipherKey), std::string("a\x17"));  // odd body: "71" "07"
    EXPECT_EQ(decipher("71"
                       "10"
                       "72" +
                           tag,
                       kCipherKey),
              "a");  // a zero byte ends the text
    EXPECT_EQ(decipher("10" + tag, kCipherKey), "");
    EXPECT_EQ(decipher("7" + tag, kCipherKey), "\x17");
    // Characters that are no digits still give a byte each: ' ' is 0x20 - 0x30 = -16.
    EXPECT_EQ(decipher("  " + tag, kCipherKey), std::string(1, static_cast<char>(((-16 * 16 - 16) & 0xFF) ^ 0x10)));
    EXPECT_EQ(decipher("\xFF\xFE" + tag, kCipherKey).size(), 1u);
}

}  // namespace
}  // namespace quillet::app
