// The idle countdown's clock must count the time the machine slept. A time namespace whose
// boot-time clock is ahead of its monotonic clock stands in for a machine that has slept
// (it needs the right to create namespaces; without it the test is skipped).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace quillet::platform {
namespace {

constexpr long kSleptSeconds = 100000;

std::uint32_t clock_ms(clockid_t which) {
    timespec ts{};
    clock_gettime(which, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000);
}

// Exit codes of the process inside the namespace.
constexpr int kCountsSleep = 0, kIgnoresSleep = 1;

TEST(ClockAcrossSuspendTest, TickCountIncludesTheTimeTheMachineSlept) {
    const pid_t outer = fork();
    ASSERT_GE(outer, 0);
    if (outer == 0) {
        // A new time namespace applies to the children created after it.
        if (unshare(CLONE_NEWTIME) != 0) _exit(77);
        const std::string offsets = "boottime " + std::to_string(kSleptSeconds) + " 0\n";
        const int fd = open("/proc/self/timens_offsets", O_WRONLY | O_CLOEXEC);
        if (fd < 0 || write(fd, offsets.data(), offsets.size()) != static_cast<ssize_t>(offsets.size())) _exit(77);
        close(fd);
        const pid_t inner = fork();
        if (inner < 0) _exit(77);
        if (inner == 0) {
            const std::uint32_t ticks = system_clock().tick_count_ms();
            const std::uint32_t from_monotonic = ticks - clock_ms(CLOCK_MONOTONIC);
            _exit(from_monotonic > kSleptSeconds * 1000 / 2 ? kCountsSleep : kIgnoresSleep);
        }
        int status = 0;
        waitpid(inner, &status, 0);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 2);
    }
    int status = 0;
    waitpid(outer, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no time namespace here";
    EXPECT_EQ(WEXITSTATUS(status), kCountsSleep);
}

}  // namespace
}  // namespace quillet::platform
