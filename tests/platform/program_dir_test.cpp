#include "platform/program_dir.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"

namespace quillet::platform {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
const std::string kThisProgram = "platform_program_dir_test.exe";
#else
constexpr char kSeparator = '/';
const std::string kThisProgram = "platform_program_dir_test";
#endif

TEST(ProgramDirTest, IsTheExecutablesDirectoryWithoutTrailingSeparator) {
    set_program_directory_for_testing("");
    std::string directory = program_directory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(full_path(directory), directory);  // absolute
    EXPECT_NE(directory.back(), kSeparator);
    EXPECT_TRUE(is_existing_file(directory + kSeparator + kThisProgram)) << directory;
    EXPECT_EQ(program_file("data.ini"), directory + kSeparator + "data.ini");
}

TEST(ProgramDirTest, TestsCanPointItElsewhereAndBack) {
    std::string real = program_directory();
    set_program_directory_for_testing("/tmp/测试/");
    EXPECT_EQ(program_directory(), "/tmp/测试");
    EXPECT_EQ(program_file("data.edb"), std::string("/tmp/测试") + kSeparator + "data.edb");
    set_program_directory_for_testing("");
    EXPECT_EQ(program_directory(), real);
}

}  // namespace
}  // namespace quillet::platform
