#include "app/store_envelope.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/cheap_keys.h"
#include "tests/support/temp_directory.h"

namespace quillet::app {
namespace {

constexpr char kPassword[] = "登录Login1";
constexpr char kDamaged[] = "服务器上的数据文件已损坏或被篡改";
// Offsets of the documented layout.
constexpr std::size_t kPassesAt = 8;
constexpr std::size_t kMemoryAt = 12;
constexpr std::size_t kSaltAt = 16;
constexpr std::size_t kRevisionAt = 32;
constexpr std::size_t kStoreAt = 80;

class StoreEnvelopeTest : public testing::Test {
  protected:
    StoreEnvelopeTest() { testing_support::use_cheap_key_derivations(); }

    static std::string sealed(std::string_view store, std::uint64_t revision = 7) {
        std::string envelope;
        EXPECT_TRUE(seal_store(store, kPassword, revision, &envelope).ok());
        return envelope;
    }

    // The status of opening, after checking that a refusal leaves the outputs alone.
    static platform::Status open(std::string_view envelope, std::string_view password = kPassword) {
        std::uint64_t revision = 99;
        platform::LockedBytes store(std::string_view("untouched"));
        platform::Status status = open_store_envelope(envelope, password, &revision, &store);
        if (!status.ok()) {
            EXPECT_EQ(revision, 99u);
            EXPECT_EQ(store.view(), "untouched");
        }
        return status;
    }
};

TEST_F(StoreEnvelopeTest, OpensToTheSameBytesAndRevision) {
    std::string store = "WEDB";
    store += std::string(5000, '\0') + "密码\xff";
    for (const std::uint64_t revision : {std::uint64_t{0}, std::uint64_t{1} << 40, ~std::uint64_t{0}}) {
        std::uint64_t opened_revision = 0;
        platform::LockedBytes opened;
        ASSERT_TRUE(open_store_envelope(sealed(store, revision), kPassword, &opened_revision, &opened).ok());
        EXPECT_EQ(opened.view(), store);
        EXPECT_EQ(opened_revision, revision);
    }
    std::uint64_t revision = 0;
    platform::LockedBytes opened(std::string_view("x"));
    ASSERT_TRUE(open_store_envelope(sealed(""), kPassword, &revision, &opened).ok());
    EXPECT_TRUE(opened.empty());
}

TEST_F(StoreEnvelopeTest, KeepsTheDocumentedLayoutWithAFreshSaltEachTime) {
    const std::string envelope = sealed("store", 0x0102030405060708);
    ASSERT_EQ(envelope.size(), kStoreAt + 40 + 5);
    EXPECT_EQ(envelope.substr(0, 8), std::string("QLTENV\x01\x00", 8));
    EXPECT_EQ(envelope.substr(kPassesAt, 8), std::string("\x01\0\0\0\x08\0\0\0", 8)) << "the cheap test cost";
    EXPECT_EQ(envelope.substr(kRevisionAt, 8), "\x08\x07\x06\x05\x04\x03\x02\x01");
    EXPECT_EQ(envelope.find("store"), std::string::npos) << "the store is in clear";
    EXPECT_NE(sealed("store", 0x0102030405060708).substr(kSaltAt, 16), envelope.substr(kSaltAt, 16));
}

TEST_F(StoreEnvelopeTest, AnEnvelopeSealedByAnEarlierBuildStillOpens) {
    // Sealed once by this code at the cheap cost; a change of layout would strand every
    // copy already on a server.
    const std::string hex =
        "514c54454e5601000100000008000000c65c4f76b555721d8ac6c221d875f041e803000000000000593a352ae2d2992de095"
        "815e4d0265150a3d3cd0419eed14390d94a4e65c85765b2cc6e3abaa91c70d3e48f3308feed30b8de10c2725dbc5fdecfd20"
        "a3fb20ccf47760d7773a0de69a53ce80c60fa230167dbc0037952a9e04974696";
    std::string envelope;
    for (std::size_t at = 0; at < hex.size(); at += 2) {
        envelope.push_back(static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16)));
    }
    std::uint64_t revision = 0;
    platform::LockedBytes store;
    ASSERT_TRUE(open_store_envelope(envelope, kPassword, &revision, &store).ok());
    EXPECT_EQ(store.view(), "an old store");
    EXPECT_EQ(revision, 1000u);
}

TEST_F(StoreEnvelopeTest, RefusesEveryChangedByte) {
    const std::string envelope = sealed("a small store");
    for (std::size_t at = 0; at < envelope.size(); ++at) {
        std::string changed = envelope;
        changed[at] = static_cast<char>(changed[at] ^ 0x01);
        EXPECT_FALSE(open(changed).ok()) << "byte " << at;
    }
}

TEST_F(StoreEnvelopeTest, AChangedRevisionFailsTheTagAsDamage) {
    std::string envelope = sealed("store", 5);
    envelope[kRevisionAt] = '\x09';
    const platform::Status status = open(envelope);
    EXPECT_EQ(status.code(), kEnvelopeDamaged);
    EXPECT_EQ(status.message(), kDamaged);
}

TEST_F(StoreEnvelopeTest, RefusesEveryTruncationAndForeignBytesAsDamage) {
    const std::string envelope = sealed("store");
    for (std::size_t size = 0; size < envelope.size(); ++size) {
        EXPECT_EQ(open(envelope.substr(0, size)).code(), kEnvelopeDamaged) << size;
    }
    EXPECT_EQ(open(envelope + "x").code(), kEnvelopeDamaged) << "bytes appended";
    EXPECT_EQ(open(std::string(200, 'W')).code(), kEnvelopeDamaged) << "a plain store";
}

TEST_F(StoreEnvelopeTest, RefusesACostNoMachineOfOursWouldChooseWithoutDeriving) {
    for (const auto& [at, value] :
         {std::pair{kPassesAt, std::string("\0\0\0\0", 4)}, std::pair{kPassesAt, std::string("\xff\xff\xff\x7f", 4)},
          std::pair{kMemoryAt, std::string("\0\0\0\x40", 4)}}) {
        std::string envelope = sealed("store");
        envelope.replace(at, 4, value);
        EXPECT_EQ(open(envelope).code(), kEnvelopeDamaged) << at;
    }
}

TEST_F(StoreEnvelopeTest, TellsAnotherPasswordAndANewerFormatFromDamage) {
    const std::string envelope = sealed("store");
    const platform::Status other = open(envelope, "登录Login2");
    EXPECT_EQ(other.code(), kEnvelopeOtherPassword);
    EXPECT_FALSE(other.message().empty());

    std::string newer = envelope;
    newer[6] = '\x02';
    EXPECT_EQ(open(newer).code(), kEnvelopeNewerFormat);
    std::string none = envelope;
    none[6] = '\x00';
    EXPECT_EQ(open(none).code(), kEnvelopeDamaged);
}

TEST_F(StoreEnvelopeTest, OpensAFileAndReportsOneThatCannotBeRead) {
    const test::TempDirectory dir;
    const std::string path = dir.path() + "/data.edb.qlt";
    std::ofstream(path, std::ios::binary) << sealed("file store", 3);
    std::uint64_t revision = 0;
    platform::LockedBytes store;
    ASSERT_TRUE(open_store_envelope_file(path, kPassword, &revision, &store).ok());
    EXPECT_EQ(store.view(), "file store");
    EXPECT_EQ(revision, 3u);
    EXPECT_EQ(open_store_envelope_file(dir.path() + "/missing.qlt", kPassword, &revision, &store).code(),
              kEnvelopeUnreadable);
}

}  // namespace
}  // namespace quillet::app
