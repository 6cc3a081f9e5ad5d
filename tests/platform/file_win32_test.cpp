// The Windows file layer: native share modes, mandatory LockFileEx locks between
// handles, GBK paths and the owner-only DACL of created files.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file.h"
#include "platform/win32/owner_only_security.h"
#include "platform/win32/wide_text.h"
#include "platform/wine.h"

namespace quillet::platform {
namespace {

// Wine keeps byte-range locks between lockers only (reads and writes pass) and does not
// store DACLs on Linux file systems; the checks of those run on Windows itself.

class Win32FileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = ::testing::TempDir() + "quillet_win32_file_" + std::to_string(GetCurrentProcessId()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(directory_);
        ASSERT_TRUE(create_directory(directory_));
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    std::string path(const std::string& name) const { return directory_ + "\\" + name; }

    std::string make(const std::string& name, const std::string& bytes) {
        File file;
        EXPECT_EQ(file.open(path(name), Access::kReadWrite, Share::kReadWrite, Creation::kCreateAlways), FileError::kNone);
        EXPECT_EQ(file.write_at(0, bytes.data(), bytes.size()), FileError::kNone);
        return path(name);
    }

    std::string directory_;
};

TEST_F(Win32FileTest, ShareModesRefuseExactlyTheConflictingOpens) {
    const std::string name = make("a.bin", "0123456789");
    struct Case {
        Share first_share;
        Access second_access;
        Share second_share;
        bool allowed;
    };
    const Case cases[] = {
        {Share::kReadWrite, Access::kReadWrite, Share::kReadWrite, true},
        {Share::kDenyWrite, Access::kRead, Share::kReadWrite, true},
        {Share::kDenyWrite, Access::kReadWrite, Share::kReadWrite, false},
        {Share::kDenyRead, Access::kRead, Share::kReadWrite, false},
        {Share::kExclusive, Access::kRead, Share::kReadWrite, false},
        // The second open may not deny what the first already does.
        {Share::kReadWrite, Access::kRead, Share::kDenyWrite, false},
        {Share::kReadWrite, Access::kRead, Share::kExclusive, false},
    };
    for (const Case& c : cases) {
        File first;
        ASSERT_EQ(first.open(name, Access::kReadWrite, c.first_share), FileError::kNone);
        File second;
        const FileError result = second.open(name, c.second_access, c.second_share);
        EXPECT_EQ(result, c.allowed ? FileError::kNone : FileError::kSharingViolation)
            << static_cast<int>(c.first_share) << " then " << static_cast<int>(c.second_share);
    }
}

TEST_F(Win32FileTest, CreateAlwaysRefusedBySharingLeavesTheFileAlone) {
    const std::string name = make("keep.bin", "precious");
    File holder;
    ASSERT_EQ(holder.open(name, Access::kRead, Share::kDenyWrite), FileError::kNone);
    File creator;
    EXPECT_EQ(creator.open(name, Access::kReadWrite, Share::kReadWrite, Creation::kCreateAlways),
              FileError::kSharingViolation);
    std::int64_t length = 0;
    ASSERT_EQ(holder.length(&length), FileError::kNone);
    EXPECT_EQ(length, 8);
}

TEST_F(Win32FileTest, LocksAreExclusivePerHandleMandatoryAndGoneOnClose) {
    const std::string name = make("locks.bin", std::string(64, 'x'));
    File a;
    File b;
    ASSERT_EQ(a.open(name, Access::kReadWrite, Share::kReadWrite), FileError::kNone);
    ASSERT_EQ(b.open(name, Access::kReadWrite, Share::kReadWrite), FileError::kNone);
    ASSERT_EQ(a.lock(10, 5), FileError::kNone);
    EXPECT_EQ(a.lock(14, 1), FileError::kLockViolation);  // the same handle overlapping itself
    EXPECT_EQ(b.lock(12, 10), FileError::kLockViolation);
    EXPECT_EQ(b.lock(15, 1), FileError::kNone);            // right beside it
    EXPECT_EQ(a.unlock(10, 4), FileError::kLockViolation);  // not exactly the held range
    // Another handle can neither read nor write locked bytes, but everything else.
    char byte = 0;
    std::size_t got = 0;
    if (!running_under_wine()) {
        EXPECT_EQ(b.read_at(11, &byte, 1, &got), FileError::kLockViolation);
        EXPECT_EQ(b.write_at(11, "y", 1), FileError::kLockViolation);
    }
    EXPECT_EQ(b.read_at(0, &byte, 1, &got), FileError::kNone);
    EXPECT_EQ(got, 1u);
    // Far beyond the end of the file, as the whole-database lock reaches.
    EXPECT_EQ(a.lock(1000, 0x7FFFFFFF), FileError::kNone);
    EXPECT_EQ(b.lock(5000, 1), FileError::kLockViolation);
    a.close();
    EXPECT_EQ(b.lock(10, 5), FileError::kNone);
    EXPECT_EQ(b.lock(5000, 1), FileError::kNone);
}

TEST_F(Win32FileTest, PositionedIoLengthAndEndOfFile) {
    File file;
    ASSERT_EQ(file.open(path("io.bin"), Access::kReadWrite, Share::kReadWrite, Creation::kOpenAlways), FileError::kNone);
    ASSERT_EQ(file.write_at(4, "abcd", 4), FileError::kNone);  // the gap reads as zeros
    char buffer[16] = {};
    std::size_t got = 0;
    ASSERT_EQ(file.read_at(2, buffer, sizeof buffer, &got), FileError::kNone);
    EXPECT_EQ(std::string(buffer, got), std::string("\0\0abcd", 6));
    ASSERT_EQ(file.read_at(100, buffer, sizeof buffer, &got), FileError::kNone);
    EXPECT_EQ(got, 0u);
    ASSERT_EQ(file.set_length(5), FileError::kNone);
    std::int64_t length = 0;
    ASSERT_EQ(file.length(&length), FileError::kNone);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(file.sync(), FileError::kNone);
    File reader;
    ASSERT_EQ(reader.open(path("io.bin"), Access::kRead, Share::kReadWrite), FileError::kNone);
    EXPECT_EQ(reader.write_at(0, "z", 1), FileError::kAccessDenied);
    EXPECT_EQ(reader.set_length(0), FileError::kAccessDenied);
}

TEST_F(Win32FileTest, FailuresHaveTheirKinds) {
    File file;
    EXPECT_EQ(file.open(path("missing.bin"), Access::kRead, Share::kReadWrite), FileError::kFileNotFound);
    EXPECT_EQ(file.open(path("no_dir\\x.bin"), Access::kRead, Share::kReadWrite), FileError::kBadPath);
    EXPECT_EQ(file.open(directory_, Access::kRead, Share::kReadWrite), FileError::kAccessDenied);
    EXPECT_EQ(file.open("", Access::kRead, Share::kReadWrite), FileError::kBadPath);
    EXPECT_EQ(file.lock(0, 1), FileError::kInvalidHandle);
}

TEST_F(Win32FileTest, GbkPathsNameTheFilesInUnicode) {
    const std::string name = make("密码数据.edb", "x");
    EXPECT_TRUE(is_existing_file(name));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(directory_) / L"\u5BC6\u7801\u6570\u636E.edb"));
    EXPECT_TRUE(move_file(name, path("备份.edb")));
    EXPECT_FALSE(is_existing_file(name));
    make("新.edb", "new");
    EXPECT_FALSE(move_file(path("新.edb"), path("备份.edb")));  // never over an existing file
    EXPECT_TRUE(replace_file(path("新.edb"), path("备份.edb")));
    std::string bytes;
    ASSERT_TRUE(read_whole_file(path("备份.edb"), &bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_TRUE(remove_file(path("备份.edb")));
    EXPECT_FALSE(is_existing_file(path("备份.edb")));
}

TEST_F(Win32FileTest, FullPathIsAbsoluteWithBackslashes) {
    const std::string full = full_path(directory_ + "/sub/../data.ini");
    EXPECT_EQ(full, full_path(directory_) + "\\data.ini");
    EXPECT_EQ(full[1], ':');
    EXPECT_TRUE(is_directory(full_path(directory_)));
}

TEST_F(Win32FileTest, AtomicWholeFileWritesReplaceAndLeaveNoTemporaries) {
    const std::string name = path("data.ini");
    ASSERT_TRUE(write_whole_file_atomically(name, "[a]\r\nx=1\r\n"));
    ASSERT_TRUE(write_whole_file_atomically(name, "[a]\r\nx=2\r\n"));
    std::string bytes;
    ASSERT_TRUE(read_whole_file(name, &bytes));
    EXPECT_EQ(bytes, "[a]\r\nx=2\r\n");
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
    EXPECT_FALSE(write_whole_file_atomically(path("no_dir\\x.ini"), "x"));
}

// The one entry of the DACL names the current user.
void expect_only_the_current_user(ACL* dacl) {
    ASSERT_NE(dacl, nullptr);
    EXPECT_EQ(dacl->AceCount, 1);
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, &ace));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    unsigned char buffer[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
    CloseHandle(token);
    EXPECT_TRUE(EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid));
    EXPECT_EQ(allowed->Mask & GENERIC_ALL, GENERIC_ALL);
}

TEST(OwnerOnlySecurityTest, DescriptorGrantsTheCurrentUserAloneAndInheritsNothing) {
    OwnerOnlySecurity security;
    ASSERT_NE(security.attributes(), nullptr);
    auto* descriptor = static_cast<PSECURITY_DESCRIPTOR>(security.attributes()->lpSecurityDescriptor);
    EXPECT_TRUE(IsValidSecurityDescriptor(descriptor));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    expect_only_the_current_user(dacl);
}

void expect_owner_only(const std::string& file) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(wide(file).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &descriptor),
              ERROR_SUCCESS)
        << file;
    expect_only_the_current_user(dacl);
    LocalFree(descriptor);
}

TEST_F(Win32FileTest, CreatedFilesAreTheCurrentUsersOnly) {
    if (running_under_wine()) GTEST_SKIP() << "Wine keeps no DACLs on Linux file systems";
    expect_owner_only(make("store.edb", "x"));
    ASSERT_TRUE(write_whole_file_atomically(path("data.ini"), "[a]\r\n"));
    expect_owner_only(path("data.ini"));
    File temporary;
    std::string name;
    ASSERT_EQ(create_private_temporary(path("store.edb"), &temporary, &name), FileError::kNone);
    expect_owner_only(name);
    // A file made with the directory's default security, then emptied by the layer.
    std::ofstream(std::filesystem::path(path("ftp.ini"))) << "x";
    File emptied;
    ASSERT_EQ(emptied.open(path("ftp.ini"), Access::kReadWrite, Share::kReadWrite, Creation::kCreateAlways),
              FileError::kNone);
    expect_owner_only(path("ftp.ini"));
}

}  // namespace
}  // namespace quillet::platform
