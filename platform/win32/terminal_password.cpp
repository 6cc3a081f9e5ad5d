// The console's own input and output (CONIN$, CONOUT$), not the standard handles that
// scripts may redirect, with echo turned off on the input for the one line.
#include <windows.h>

#include "platform/terminal_password.h"

namespace quillet::platform {
namespace {

std::wstring from_utf8(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

std::string to_utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

// Closes the console handles and puts echo back on every path.
class Console {
  public:
    Console()
        : in_(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr)),
          out_(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr)) {
        if (in_ != INVALID_HANDLE_VALUE && GetConsoleMode(in_, &saved_)) {
            restore_ = SetConsoleMode(in_, (saved_ | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);
        }
    }
    ~Console() {
        if (restore_) SetConsoleMode(in_, saved_);
        if (in_ != INVALID_HANDLE_VALUE) CloseHandle(in_);
        if (out_ != INVALID_HANDLE_VALUE) CloseHandle(out_);
    }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool usable() const { return restore_ && out_ != INVALID_HANDLE_VALUE; }

    void write_text(const std::wstring& text) const {
        DWORD written = 0;
        WriteConsoleW(out_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    bool read_line(std::wstring* line) const {
        line->clear();
        wchar_t buffer[256];
        for (;;) {
            DWORD got = 0;
            if (!ReadConsoleW(in_, buffer, 256, &got, nullptr) || got == 0) return false;
            for (DWORD i = 0; i < got; ++i) {
                if (buffer[i] == L'\n') return true;
                if (buffer[i] != L'\r') *line += buffer[i];
            }
        }
    }

  private:
    HANDLE in_;
    HANDLE out_;
    DWORD saved_ = 0;
    bool restore_ = false;
};

}  // namespace

bool read_terminal_password(const std::string& prompt_utf8, std::string* password_utf8) {
    Console console;
    if (!console.usable()) return false;
    console.write_text(from_utf8(prompt_utf8));
    std::wstring line;
    const bool read = console.read_line(&line);
    console.write_text(L"\r\n");  // the Enter that ended the line was not echoed
    if (read) *password_utf8 = to_utf8(line);
    SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
    return read;
}

// A console input handle answers GetConsoleMode; a pipe or a file does not.
bool standard_input_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

}  // namespace quillet::platform
