#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/script_connection.h"

extern char** environ;

namespace quillet::test {

struct ScriptProcess::Connection::Handles {
    int socket = -1;
    pid_t relay = -1;
};

namespace {

// A listening socket on 127.0.0.1 and a free port, or -1.
int listen_locally(int* port) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0) close(listener);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return listener;
}

}  // namespace

std::unique_ptr<ScriptProcess::Connection> ScriptProcess::Connection::start(const std::string& relay,
                                                                            const std::vector<std::string>& arguments) {
    int port = 0;
    const int listener = listen_locally(&port);
    if (listener < 0) return nullptr;
    std::vector<std::string> text = {"/usr/bin/python3", "-u", relay, std::to_string(port)};
    text.insert(text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : text) argv.push_back(argument.data());
    argv.push_back(nullptr);

    auto handles = std::make_unique<Handles>();
    if (posix_spawn(&handles->relay, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        close(listener);
        return nullptr;
    }
    auto connection = std::make_unique<Connection>(std::move(handles));
    pollfd ready{listener, POLLIN, 0};
    if (poll(&ready, 1, 60'000) == 1) connection->handles_->socket = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    close(listener);
    if (connection->handles_->socket < 0) return nullptr;
    return connection;
}

ScriptProcess::Connection::Connection(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

ScriptProcess::Connection::~Connection() {
    if (handles_->socket >= 0) close(handles_->socket);
    if (handles_->relay > 0) waitpid(handles_->relay, nullptr, 0);
}

std::size_t ScriptProcess::Connection::receive(char* buffer, std::size_t size) {
    const ssize_t received = recv(handles_->socket, buffer, size, 0);
    return received > 0 ? static_cast<std::size_t>(received) : 0;
}

void ScriptProcess::Connection::end_sending() { shutdown(handles_->socket, SHUT_WR); }

std::string ScriptProcess::unix_path(const std::string& path) { return path; }

}  // namespace quillet::test
