// A fresh program directory holding an empty data.edb locked with an access password,
// for the record store's tests with and without windows.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "app/record_store.h"
#include "db/database_handle.h"
#include "platform/program_dir.h"

namespace quillet::app {

inline constexpr char kStorePassword[] = "s3cret密码";

// Creates data.edb in the current program directory with the record layout and
// `password` as its access password.
inline void create_record_store(const std::string& password = kStorePassword) {
    const std::string file = platform::program_file("data.edb");
    ASSERT_TRUE(db::create_data_file(file, credential_fields()).ok());
    db::Database store;
    ASSERT_TRUE(db::Database::open(file, {}, &store).ok());
    ASSERT_TRUE(store.set_password(password).ok());
}

// Makes data.edb a store that opens with `password` and holds one record, but whose first
// field is named "NO" where the credential table has "ID": a file from another program.
inline void create_foreign_store(const std::string& password = kStorePassword) {
    std::vector<db::FieldSpec> fields = credential_fields();
    fields[0].name = "NO";
    const std::string file = platform::program_file("data.edb");
    ASSERT_TRUE(db::create_data_file(file, fields).ok());
    db::Database store;
    ASSERT_TRUE(db::Database::open(file, {}, &store).ok());
    ASSERT_TRUE(store.append({std::int32_t{1}, std::string("平台")}).ok());
    ASSERT_TRUE(store.set_password(password).ok());
}

// A temporary program directory, removed again at the end.
class TempProgramDirectory {
  public:
    TempProgramDirectory()
        : dir_(std::filesystem::temp_directory_path() / ("quillet_records_" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(dir_);
        platform::set_program_directory_for_testing(dir_.string());
    }
    ~TempProgramDirectory() { std::filesystem::remove_all(dir_); }
    TempProgramDirectory(const TempProgramDirectory&) = delete;
    TempProgramDirectory& operator=(const TempProgramDirectory&) = delete;

  private:
    std::filesystem::path dir_;
};

}  // namespace quillet::app
