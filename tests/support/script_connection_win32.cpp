// Under Wine a Windows program can start a Linux program: CreateProcessW runs any file
// that is not a Windows executable as a native process. Its standard handles are not
// passed on, which is why the relay talks over a socket.
#include <winsock2.h>
#include <windows.h>

#include <filesystem>

#include "tests/support/script_connection.h"

namespace quillet::test {

struct ScriptProcess::Connection::Handles {
    SOCKET socket = INVALID_SOCKET;
};

namespace {

bool sockets_ready() {
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

SOCKET listen_locally(int* port) {
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener != INVALID_SOCKET) closesocket(listener);
        return INVALID_SOCKET;
    }
    *port = ntohs(address.sin_port);
    return listener;
}

// One argument quoted the way the command line is split again into arguments.
std::wstring quoted(const std::string& argument) {
    const std::wstring text = std::filesystem::path(argument).wstring();
    std::wstring result = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : text) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, L'\\');
    return result + L"\"";
}

bool start_relay(const std::vector<std::string>& command) {
    std::wstring line;
    for (const std::string& argument : command) line += (line.empty() ? L"" : L" ") + quoted(argument);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\usr\\bin\\python3", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    // The handles stand for a process Wine does not track; the socket tells when it ends.
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    return true;
}

}  // namespace

std::unique_ptr<ScriptProcess::Connection> ScriptProcess::Connection::start(const std::string& relay,
                                                                            const std::vector<std::string>& arguments) {
    int port = 0;
    const SOCKET listener = sockets_ready() ? listen_locally(&port) : INVALID_SOCKET;
    if (listener == INVALID_SOCKET) return nullptr;
    std::vector<std::string> command = {"/usr/bin/python3", "-u", relay, std::to_string(port)};
    command.insert(command.end(), arguments.begin(), arguments.end());
    auto handles = std::make_unique<Handles>();
    if (start_relay(command)) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener, &ready);
        timeval bound{60, 0};
        if (select(0, &ready, nullptr, nullptr, &bound) == 1) handles->socket = accept(listener, nullptr, nullptr);
    }
    closesocket(listener);
    if (handles->socket == INVALID_SOCKET) return nullptr;
    return std::make_unique<Connection>(std::move(handles));
}

ScriptProcess::Connection::Connection(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

ScriptProcess::Connection::~Connection() {
    if (handles_->socket != INVALID_SOCKET) closesocket(handles_->socket);
}

std::size_t ScriptProcess::Connection::receive(char* buffer, std::size_t size) {
    const int received = recv(handles_->socket, buffer, static_cast<int>(size), 0);
    return received > 0 ? static_cast<std::size_t>(received) : 0;
}

void ScriptProcess::Connection::end_sending() { shutdown(handles_->socket, SD_SEND); }

std::string ScriptProcess::unix_path(const std::string& path) {
    using UnixFileName = char*(CDECL*)(LPCWSTR);
    const auto to_unix = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (to_unix == nullptr) return path;
    char* converted = to_unix(std::filesystem::absolute(path).wstring().c_str());
    if (converted == nullptr) return path;
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

}  // namespace quillet::test
