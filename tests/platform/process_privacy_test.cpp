#include "platform/process_privacy.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillet::platform {
namespace {

TEST(ProcessPrivacyTest, NoCoreDumpsAndNoTracingAfterwards) {
    // In a child, so that the test runner itself stays as it was.
    const pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        keep_process_memory_private();
        rlimit core{};
        if (getrlimit(RLIMIT_CORE, &core) != 0 || core.rlim_cur != 0 || core.rlim_max != 0) _exit(1);
        if (prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0) _exit(2);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: core dumps still allowed, 2: still dumpable";
}

}  // namespace
}  // namespace quillet::platform
