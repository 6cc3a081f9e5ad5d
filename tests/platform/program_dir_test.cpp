#include "platform/program_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace quillet::platform {
namespace {

TEST(ProgramDirTest, IsTheExecutablesDirectoryWithoutTrailingSeparator) {
    set_program_directory_for_testing("");
    std::string directory = program_directory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.front(), '/');
    EXPECT_NE(directory.back(), '/');
    EXPECT_EQ(access((directory + "/platform_program_dir_test").c_str(), X_OK), 0) << directory;
    EXPECT_EQ(program_file("data.ini"), directory + "/data.ini");
}

TEST(ProgramDirTest, TestsCanPointItElsewhereAndBack) {
    std::string real = program_directory();
    set_program_directory_for_testing("/tmp/测试/");
    EXPECT_EQ(program_directory(), "/tmp/测试");
    EXPECT_EQ(program_file("data.edb"), "/tmp/测试/data.edb");
    set_program_directory_for_testing("");
    EXPECT_EQ(program_directory(), real);
}

}  // namespace
}  // namespace quillet::platform
