// The Windows desk events on a real window (under Wine: on an X display): the session and
// power messages Windows would broadcast are posted to the hidden window the watch owns.
#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "platform/desk_events.h"

namespace quillet::platform {
namespace {

constexpr wchar_t kWindowClass[] = L"QuilletDeskWindow";

BOOL CALLBACK collect_desk_window(HWND window, LPARAM found) {
    wchar_t type[32] = {};
    GetClassNameW(window, type, 32);
    if (std::wstring_view(type) == kWindowClass) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

// The desk windows of this thread, found as the test finds any window: by class.
std::vector<HWND> desk_windows() {
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), collect_desk_window, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Dispatches everything this thread's queue holds: a message posted to a window of this
// thread is handled once this returns.
void pump_pending() {
    MSG message;
    for (int i = 0; i < 1000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&message);
}

struct Broadcast {
    UINT message;
    WPARAM wparam;
};

constexpr Broadcast kLocked{WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK};

class Win32DeskEventsTest : public testing::Test {
  protected:
    void TearDown() override {
        desk_events().stop();
        pump_pending();
    }

    void watch_counting() {
        desk_events().watch([this] { ++left_; });
    }

    // What Windows would send, as it would reach the window of the watch.
    static bool post(Broadcast broadcast) {
        const std::vector<HWND> windows = desk_windows();
        if (windows.size() != 1) return false;
        const BOOL posted = PostMessageW(windows.front(), broadcast.message, broadcast.wparam, 0);
        pump_pending();
        return posted != FALSE;
    }

    int left_ = 0;
};

// Windows sends the power and session broadcasts to top-level windows only: a message-only
// window (whose parent is not the desktop) would never hear of a lock or a suspend.
TEST_F(Win32DeskEventsTest, WatchingOwnsOneHiddenTopLevelWindow) {
    EXPECT_TRUE(desk_windows().empty());
    watch_counting();
    const std::vector<HWND> windows = desk_windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(GetAncestor(windows.front(), GA_PARENT), GetDesktopWindow());
    EXPECT_FALSE(IsWindowVisible(windows.front()));
}

TEST_F(Win32DeskEventsTest, LockSwitchDisconnectAndSuspendEachLeaveTheDesk) {
    watch_counting();
    const Broadcast leaving[] = {kLocked,
                                 {WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT},
                                 {WM_WTSSESSION_CHANGE, WTS_REMOTE_DISCONNECT},
                                 {WM_POWERBROADCAST, PBT_APMSUSPEND}};
    int expected = 0;
    for (const Broadcast& broadcast : leaving) {
        ASSERT_TRUE(post(broadcast));
        EXPECT_EQ(left_, ++expected) << broadcast.message << " " << broadcast.wparam;
    }
}

TEST_F(Win32DeskEventsTest, ComingBackAndOtherNewsLeaveNothing) {
    watch_counting();
    const Broadcast others[] = {
        {WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK}, {WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT},
        {WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON},  {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC},
        {WM_POWERBROADCAST, PBT_APMRESUMESUSPEND},  {WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE}};
    for (const Broadcast& broadcast : others) ASSERT_TRUE(post(broadcast));
    EXPECT_EQ(left_, 0);
}

TEST_F(Win32DeskEventsTest, AfterStopTheWindowIsGoneAndNothingIsCalled) {
    watch_counting();
    const std::vector<HWND> windows = desk_windows();
    ASSERT_EQ(windows.size(), 1u);
    desk_events().stop();
    EXPECT_FALSE(IsWindow(windows.front()));
    EXPECT_TRUE(desk_windows().empty());
    PostMessageW(windows.front(), kLocked.message, kLocked.wparam, 0);
    pump_pending();
    EXPECT_EQ(left_, 0);
    desk_events().stop();  // stopping twice is harmless
}

// As the session does: the logout ends the watch from inside the lock's handling. A second
// lock already queued then finds no window and no one to call.
TEST_F(Win32DeskEventsTest, ACallbackThatStopsTheWatchIsCalledOnce) {
    desk_events().watch([this] {
        ++left_;
        desk_events().stop();
    });
    const std::vector<HWND> windows = desk_windows();
    ASSERT_EQ(windows.size(), 1u);
    PostMessageW(windows.front(), kLocked.message, kLocked.wparam, 0);
    PostMessageW(windows.front(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    pump_pending();
    EXPECT_EQ(left_, 1);
    EXPECT_TRUE(desk_windows().empty());
}

TEST_F(Win32DeskEventsTest, EachWatchReplacesTheLastAndANewWatchWorksAfterStop) {
    int first = 0;
    desk_events().watch([&first] { ++first; });
    watch_counting();
    ASSERT_TRUE(post(kLocked));  // fails unless there is exactly one window
    EXPECT_EQ(first, 0);
    EXPECT_EQ(left_, 1);

    desk_events().stop();
    watch_counting();
    ASSERT_TRUE(post(kLocked));
    EXPECT_EQ(left_, 2);
}

}  // namespace
}  // namespace quillet::platform
