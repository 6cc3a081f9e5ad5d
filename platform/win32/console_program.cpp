#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/console_program.h"

namespace quillet::platform {
namespace {

std::string to_utf8(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
    out.pop_back();  // the terminating NUL
    return out;
}

}  // namespace

std::vector<std::string> start_console_program(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int count = 0;
    wchar_t** wide_argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide_argv == nullptr) return {argv, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(to_utf8(wide_argv[i]));
    LocalFree(wide_argv);
    return arguments;
}

}  // namespace quillet::platform
