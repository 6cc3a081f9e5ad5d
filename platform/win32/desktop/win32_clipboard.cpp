// The clipboard on Windows. A secret goes with the three formats that keep it out of
// clipboard monitors, the clipboard history and the cloud clipboard; the history and
// cloud formats hold a DWORD 0, the monitor format is present and empty.
//
// Whether the clipboard still holds our secret is told by the clipboard's sequence
// number, which every change of its content moves on: unchanged since we set the secret
// means nothing was copied over it, so the secret (and only it) may be cleared.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/clipboard.h"
#include "platform/desktop_registry.h"
#include "platform/win32/desktop/message_window.h"
#include "platform/win32/wide_text.h"

namespace quillet::platform {
namespace {

constexpr UINT_PTR kExpiryTimer = 1;

// Opens the clipboard, retrying briefly: another program may hold it open for a moment.
class OpenedClipboard {
  public:
    OpenedClipboard() {
        for (int attempt = 0; attempt < 10 && !open_; ++attempt) {
            open_ = OpenClipboard(nullptr) != 0;
            if (!open_) Sleep(10);
        }
    }
    ~OpenedClipboard() {
        if (open_) CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    bool is_open() const { return open_; }

  private:
    bool open_ = false;
};

bool put(UINT format, const void* data, std::size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size == 0 ? 1 : size);
    if (memory == nullptr) return false;
    if (size > 0) {
        void* target = GlobalLock(memory);
        if (target == nullptr) {
            GlobalFree(memory);
            return false;
        }
        std::memcpy(target, data, size);
        GlobalUnlock(memory);
    }
    if (SetClipboardData(format, memory) == nullptr) {
        GlobalFree(memory);
        return false;
    }
    return true;  // the clipboard owns the memory now
}

// Window thread only.
class Win32Clipboard : public Clipboard {
  public:
    bool set_text(const std::string& text, Sensitivity sensitivity) override {
        const std::wstring content = wide(text);
        bool ok = false;
        {
            OpenedClipboard opened;
            if (!opened.is_open() || !EmptyClipboard()) return false;
            ok = put(CF_UNICODETEXT, content.c_str(), (content.size() + 1) * sizeof(wchar_t));
            if (ok && sensitivity == Sensitivity::kSecret) {
                const DWORD no = 0;
                ok = put(RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing"), nullptr, 0) &&
                     put(RegisterClipboardFormatW(L"CanIncludeInClipboardHistory"), &no, sizeof no) &&
                     put(RegisterClipboardFormatW(L"CanUploadToCloudClipboard"), &no, sizeof no);
            }
        }
        if (ok && sensitivity == Sensitivity::kSecret) {
            secret_sequence_ = GetClipboardSequenceNumber();
            holds_secret_ = true;
            handle_message(WM_TIMER, [this](WPARAM id, LPARAM) {
                if (id == kExpiryTimer) clear_secret();
            });
            if (HWND window = message_window()) SetTimer(window, kExpiryTimer, static_cast<UINT>(lifetime_ms_), nullptr);
        } else {
            forget_secret();
        }
        return ok;
    }

    void clear_secret() override {
        if (!holds_secret_) return;
        if (GetClipboardSequenceNumber() == secret_sequence_) {
            OpenedClipboard opened;
            if (opened.is_open()) EmptyClipboard();
        }
        forget_secret();
    }

    bool holds_secret() override { return holds_secret_ && GetClipboardSequenceNumber() == secret_sequence_; }

    void set_secret_lifetime_ms(int milliseconds) override { lifetime_ms_ = milliseconds; }

  private:
    void forget_secret() {
        if (holds_secret_ && message_window() != nullptr) KillTimer(message_window(), kExpiryTimer);
        holds_secret_ = false;
        secret_sequence_ = 0;
    }

    bool holds_secret_ = false;
    DWORD secret_sequence_ = 0;
    int lifetime_ms_ = kSecretLifetimeMs;
};

Win32Clipboard system_clipboard;
const bool registered = (register_system_clipboard(&system_clipboard), true);

}  // namespace
}  // namespace quillet::platform
