#include "platform/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/recording_shell.h"

namespace quillet::platform {
namespace {

// Puts a stand-in xdg-open first on PATH that writes its argument list into a FIFO, so the
// test learns exactly what the handler received by reading the FIFO (which waits for it).
class SystemShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() / ("quillet_shell_" + std::to_string(getpid()));
        std::filesystem::create_directories(directory_);
        fifo_ = (directory_ / "received").string();
        ASSERT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
        std::string script = (directory_ / "xdg-open").string();
        std::ofstream(script) << "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" << fifo_ << "'\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        old_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (directory_.string() + ":" + old_path_).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", old_path_.c_str(), 1);
        std::filesystem::remove_all(directory_);
    }
    std::string received() {
        std::ifstream in(fifo_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path directory_;
    std::string fifo_;
    std::string old_path_;
};

TEST_F(SystemShellTest, PassesTheAddressAsOneUtf8ArgumentWithoutAShell) {
    set_shell(nullptr);
    ASSERT_TRUE(shell().open("http://example.test/a b;$(touch x)&版本"));
    EXPECT_EQ(received(), "1|http://example.test/a b;$(touch x)&\xE7\x89\x88\xE6\x9C\xAC|");
    EXPECT_FALSE(std::filesystem::exists("x"));
}

TEST_F(SystemShellTest, RefusesAnAddressThatWouldReadAsAnOption) {
    set_shell(nullptr);
    EXPECT_FALSE(shell().open("--version"));
    EXPECT_FALSE(shell().open(""));
}

TEST(RecordingShellTest, InstalledShellRecordsAddressesInOrder) {
    RecordingShell recording;
    set_shell(&recording);
    EXPECT_TRUE(shell().open("http://a.test/"));
    recording.set_succeed(false);
    EXPECT_FALSE(shell().open("http://b.test/"));
    set_shell(nullptr);
    EXPECT_EQ(recording.opened(), (std::vector<std::string>{"http://a.test/", "http://b.test/"}));
    EXPECT_NE(&shell(), &recording);
}

}  // namespace
}  // namespace quillet::platform
