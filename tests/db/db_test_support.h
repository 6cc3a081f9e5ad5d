// Shared by the engine tests: a private directory per test, raw file access and the
// credential table's field list.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "db/database.h"
#include "platform/file.h"

namespace quillet::db::testing {

inline std::vector<FieldSpec> credential_fields() {
    return {{"ID", FieldType::kInt, 0},     {"平台", FieldType::kText, 255}, {"账号", FieldType::kText, 255},
            {"密码", FieldType::kText, 255}, {"网址", FieldType::kText, 255}, {"备注", FieldType::kText, 255}};
}

inline std::int32_t le32(const std::string& bytes, std::size_t at) {
    std::int32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

inline void put_le32(std::string* bytes, std::size_t at, std::int32_t value) { std::memcpy(bytes->data() + at, &value, 4); }

class DbTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests: "Name/Param"
        directory_ = ::testing::TempDir() + "quillet_db_" + std::to_string(getpid()) + "_" + name;
        std::filesystem::remove_all(directory_);
        platform::create_directory(directory_);
        set_lock_wait_time(0);
    }
    void TearDown() override {
        for (const std::string& path : opened_) close_database(path);
        std::filesystem::remove_all(directory_);
    }

    std::string path(const std::string& name) const { return directory_ + "/" + name; }

    // Opens and remembers the file so that TearDown closes it.
    bool open(const std::string& file, const OpenOptions& options = {}) {
        opened_.push_back(file);
        return open_database(file, options);
    }

    std::string bytes_of(const std::string& file) const {
        std::string bytes;
        platform::read_whole_file(file, &bytes);
        return bytes;
    }
    void write_bytes(const std::string& file, const std::string& bytes) const {
        ASSERT_TRUE(platform::write_whole_file_atomically(file, bytes));
    }

    // A credential store with `count` records whose IDs are 1..count.
    std::string make_store(const std::string& name, int count, const std::string& password = {}) {
        const std::string file = path(name);
        EXPECT_TRUE(create_database(file, credential_fields(), CreateOptions{44474.76592592592, 1}));
        EXPECT_TRUE(open(file));
        if (!password.empty()) {
            EXPECT_TRUE(set_access_password(password));
        }
        for (int id = 1; id <= count; ++id) {
            EXPECT_TRUE(append_record({static_cast<double>(id), std::string("平台") + std::to_string(id), std::string("账号"),
                                       std::string("cipher"), std::string("http://x/") + std::to_string(id),
                                       std::string("备注")}));
        }
        close_database(file);
        return file;
    }

    std::string directory_;
    std::vector<std::string> opened_;
};

}  // namespace quillet::db::testing
