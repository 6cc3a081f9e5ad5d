// The Windows clipboard, hot keys and typist, on real windows (under Wine: on an X display).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/clipboard.h"
#include "platform/hot_keys.h"
#include "platform/typist.h"
#include "platform/win32/desktop/message_window.h"

namespace quillet::platform {
namespace {

// Runs the thread's messages until `done` holds or five seconds have passed.
bool pump_until(const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

void pump_pending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

std::wstring clipboard_text() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return L"<not open>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = units;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// The DWORD a format holds, -1 when absent, -2 when present but empty.
long long format_value(const wchar_t* name) {
    const UINT format = RegisterClipboardFormatW(name);
    if (!IsClipboardFormatAvailable(format)) return -1;
    long long value = -2;
    if (!OpenClipboard(nullptr)) return -3;
    if (HANDLE data = GetClipboardData(format)) {
        if (GlobalSize(data) >= sizeof(DWORD)) {
            value = *static_cast<const DWORD*>(GlobalLock(data));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return value;
}

void copy_as_the_user(const std::wstring& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
}

TEST(Win32ClipboardTest, PlainTextIsCopiedAsUnicodeWithoutSecretMarkers) {
    ASSERT_TRUE(clipboard().set_text("账号 user€", Sensitivity::kPlain));
    EXPECT_EQ(clipboard_text(), L"\u8D26\u53F7 user\u20AC");
    EXPECT_EQ(format_value(L"CanIncludeInClipboardHistory"), -1);
    clipboard().clear_secret();  // holds no secret: leaves the text
    EXPECT_EQ(clipboard_text(), L"\u8D26\u53F7 user\u20AC");
}

TEST(Win32ClipboardTest, SecretIsKeptOutOfHistoryCloudAndMonitorsAndClearedOnlyWhileOurs) {
    ASSERT_TRUE(clipboard().set_text("p@ss密", Sensitivity::kSecret));
    EXPECT_EQ(clipboard_text(), L"p@ss\u5BC6");
    EXPECT_EQ(format_value(L"CanIncludeInClipboardHistory"), 0);
    EXPECT_EQ(format_value(L"CanUploadToCloudClipboard"), 0);
    EXPECT_NE(format_value(L"ExcludeClipboardContentFromMonitorProcessing"), -1);
    clipboard().clear_secret();
    EXPECT_EQ(clipboard_text(), L"");

    ASSERT_TRUE(clipboard().set_text("secret", Sensitivity::kSecret));
    EXPECT_TRUE(clipboard().holds_secret());
    copy_as_the_user(L"mine");
    EXPECT_FALSE(clipboard().holds_secret());
    clipboard().clear_secret();
    EXPECT_EQ(clipboard_text(), L"mine");
}

TEST(Win32ClipboardTest, SecretGoesWhenItsLifetimeEnds) {
    clipboard().set_secret_lifetime_ms(20);
    ASSERT_TRUE(clipboard().set_text("short-lived", Sensitivity::kSecret));
    EXPECT_TRUE(pump_until([] { return clipboard_text().empty(); }));
    clipboard().set_secret_lifetime_ms(kSecretLifetimeMs);
}

TEST(Win32HotKeysTest, KeysAreHeldUnderTheirIdentifiersUntilReleased) {
    int f1 = 0;
    int f3 = 0;
    ASSERT_TRUE(hot_keys().grab(HotKey::kF1, [&] { ++f1; }));
    ASSERT_TRUE(hot_keys().grab(HotKey::kF3, [&] { ++f3; }));
    // Nobody else gets a key while it is held.
    EXPECT_FALSE(RegisterHotKey(nullptr, 1, MOD_NOREPEAT, VK_F1));
    PostMessageW(message_window(), WM_HOTKEY, 33001, 0);
    PostMessageW(message_window(), WM_HOTKEY, 33003, 0);
    PostMessageW(message_window(), WM_HOTKEY, 33002, 0);  // F2 is not held: nothing runs
    pump_pending();
    EXPECT_EQ(f1, 1);
    EXPECT_EQ(f3, 1);
    hot_keys().release(HotKey::kF1);
    hot_keys().release(HotKey::kF2);  // not held: nothing happens
    PostMessageW(message_window(), WM_HOTKEY, 33001, 0);
    pump_pending();
    EXPECT_EQ(f1, 1);
    EXPECT_TRUE(RegisterHotKey(nullptr, 1, MOD_NOREPEAT, VK_F1));
    UnregisterHotKey(nullptr, 1);
    hot_keys().release(HotKey::kF3);
}

// A top-level window with one edit box, the pointer over the box.
class Win32TypistTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame_ = CreateWindowExW(0, L"STATIC", L"target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 200, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(frame_, nullptr);
        SetWindowLongPtrW(frame_, GWL_STYLE, GetWindowLongPtrW(frame_, GWL_STYLE) | WS_CLIPCHILDREN);
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 20, 20, 300, 30,
                                frame_, nullptr, nullptr, nullptr);
        ASSERT_NE(edit_, nullptr);
        pump_pending();
        RECT box{};
        GetWindowRect(edit_, &box);
        SetCursorPos((box.left + box.right) / 2, (box.top + box.bottom) / 2);
        pump_pending();
    }
    void TearDown() override {
        if (frame_ != nullptr) DestroyWindow(frame_);
    }
    std::wstring typed() const {
        wchar_t buffer[256] = {};
        GetWindowTextW(edit_, buffer, 256);
        return buffer;
    }

    HWND frame_ = nullptr;
    HWND edit_ = nullptr;
};

TEST_F(Win32TypistTest, TypesAnyTextIntoTheBoxUnderThePointer) {
    const DesktopWindow under = typist().window_under_pointer();
    ASSERT_EQ(under, reinterpret_cast<std::uintptr_t>(edit_));
    EXPECT_TRUE(typist().type_text(under, "密码Ab€ 1"));
    EXPECT_EQ(typist().top_level_of(under), reinterpret_cast<std::uintptr_t>(frame_));
    EXPECT_EQ(typist().top_level_of(reinterpret_cast<std::uintptr_t>(frame_)), reinterpret_cast<std::uintptr_t>(frame_));
    EXPECT_TRUE(pump_until([&] { return typed() == L"\u5BC6\u7801Ab\u20AC 1"; })) << typed().size();
}

TEST_F(Win32TypistTest, NothingIsTypedWithoutATarget) {
    EXPECT_FALSE(typist().type_text(0, "lost"));
    EXPECT_TRUE(typist().type_text(reinterpret_cast<std::uintptr_t>(edit_), ""));
    const DesktopWindow gone = reinterpret_cast<std::uintptr_t>(edit_);
    DestroyWindow(frame_);
    frame_ = nullptr;
    EXPECT_FALSE(typist().type_text(gone, "lost"));  // a window that has gone gets nothing, nor does any other
    EXPECT_EQ(typist().top_level_of(gone), 0u);
    pump_pending();
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(gone)));
}

}  // namespace
}  // namespace quillet::platform
