#include "platform/data_directory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/program_dir.h"
#include "tests/support/temp_directory.h"

namespace quillet::platform {
namespace {

DataPlaces places(const std::string& program, bool holds_settings, bool writable) {
    return {program, holds_settings, writable, "/home/u/.local/share/quillet"};
}

TEST(DataDirectoryTest, AProgramFolderOfItsOwnKeepsTheFilesBesideIt) {
    // Portable copy or per-user install: writable, outside /usr.
    EXPECT_EQ(choose_data_directory(places("/home/u/.local/opt/quillet", false, true)), "/home/u/.local/opt/quillet");
    EXPECT_EQ(choose_data_directory(places("/usr-local/q", false, true)), "/usr-local/q");
    // Existing data.ini wins even where the user cannot write or under /usr.
    EXPECT_EQ(choose_data_directory(places("/opt/q", true, false)), "/opt/q");
    EXPECT_EQ(choose_data_directory(places("/usr/bin", true, true)), "/usr/bin");
}

TEST(DataDirectoryTest, ASystemInstallKeepsTheFilesInTheUsersDataDirectory) {
    EXPECT_EQ(choose_data_directory(places("/usr/bin", false, false)), "/home/u/.local/share/quillet");
    // Root may write /usr, yet the data does not belong there.
    EXPECT_EQ(choose_data_directory(places("/usr/bin", false, true)), "/home/u/.local/share/quillet");
    EXPECT_EQ(choose_data_directory(places("/usr", false, true)), "/home/u/.local/share/quillet");
    EXPECT_EQ(choose_data_directory(places("/opt/q", false, false)), "/home/u/.local/share/quillet");
    // Without a user data directory (no home, or Windows) the program folder stays.
    EXPECT_EQ(choose_data_directory({"/usr/bin", false, false, ""}), "/usr/bin");
}

#ifndef _WIN32
// Sets an environment variable for one test and restores it.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class DataDirectorySettleTest : public testing::Test {
  protected:
    void TearDown() override { set_program_directory_for_testing(""); }
    test::TempDirectory temp_;
};

TEST_F(DataDirectorySettleTest, TheUsersDataDirectoryFollowsXdgDataHomeOrHome) {
    ScopedEnvironment home("HOME", "/home/someone");
    {
        ScopedEnvironment data_home("XDG_DATA_HOME", "/data/home/");
        EXPECT_EQ(data_places().user_data_directory, "/data/home/quillet");
    }
    {
        ScopedEnvironment data_home("XDG_DATA_HOME", "relative/ignored");
        EXPECT_EQ(data_places().user_data_directory, "/home/someone/.local/share/quillet");
    }
    ScopedEnvironment data_home("XDG_DATA_HOME", std::nullopt);
    EXPECT_EQ(data_places().user_data_directory, "/home/someone/.local/share/quillet");
    ScopedEnvironment no_home("HOME", std::nullopt);
    EXPECT_EQ(data_places().user_data_directory, "");
}

TEST_F(DataDirectorySettleTest, AProgramUnderUsrIsPointedAtANewPrivateDataDirectory) {
    const std::string data_home = temp_.path() + "/share/deeper";
    ScopedEnvironment data_home_variable("XDG_DATA_HOME", data_home);
    set_program_directory_for_testing("/usr/bin");
    std::string chosen;
    ASSERT_TRUE(settle_data_directory(&chosen));
    EXPECT_EQ(chosen, data_home + "/quillet");
    EXPECT_EQ(program_file("data.ini"), data_home + "/quillet/data.ini");
    namespace fs = std::filesystem;
    for (const std::string& made : {temp_.path() + "/share", data_home, chosen}) {
        EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
    }
}

TEST_F(DataDirectorySettleTest, AProgramFolderWithItsFilesStaysPut) {
    ScopedEnvironment data_home_variable("XDG_DATA_HOME", temp_.path() + "/share");
    const std::string program = temp_.path() + "/program";
    std::filesystem::create_directories(program);
    set_program_directory_for_testing(program);
    std::string chosen;
    ASSERT_TRUE(settle_data_directory(&chosen));
    EXPECT_EQ(chosen, program);
    EXPECT_EQ(program_directory(), program);
    EXPECT_FALSE(std::filesystem::exists(temp_.path() + "/share"));
}

TEST_F(DataDirectorySettleTest, ADataDirectoryThatCannotBeMadeLeavesTheProgramDirectory) {
    // A file where a folder on the way should be.
    const std::string blocker = temp_.path() + "/file";
    { std::FILE* f = std::fopen(blocker.c_str(), "w"); std::fclose(f); }
    ScopedEnvironment data_home_variable("XDG_DATA_HOME", blocker + "/share");
    set_program_directory_for_testing("/usr/bin");
    std::string chosen;
    EXPECT_FALSE(settle_data_directory(&chosen));
    EXPECT_EQ(chosen, blocker + "/share/quillet");
    EXPECT_EQ(program_directory(), "/usr/bin");
}
#endif

}  // namespace
}  // namespace quillet::platform
