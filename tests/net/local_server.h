// Runs one of the project's Python test servers as a child process on 127.0.0.1. The
// server prints its port as its first line once it accepts connections; construction
// returns after reading it, so no test waits on a guess. Later lines (request logs) can
// be read one by one. The child is ended with the object, and ends by itself when its
// standard input closes, so even a test that crashes or never deletes it leaves none behind.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace quillet::testing_support {

class LocalServer {
public:
    // `script` is relative to the project root.
    LocalServer(const std::string& script, const std::vector<std::string>& arguments = {}) {
        const std::string root = project_root();
        std::vector<std::string> argv_text = {"/usr/bin/python3", "-u", root + script};
        argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : argv_text) argv.push_back(argument.data());
        argv.push_back(nullptr);

        int out[2];
        int in[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        if (pipe2(in, O_CLOEXEC) != 0) {
            close(out[0]);
            close(out[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(in[0]);
        input_ = in[1];
        output_ = fdopen(out[0], "r");
        const std::string first = next_line();
        port_ = first.empty() ? 0 : std::stoi(first);
    }

    ~LocalServer() {
        stop();
        if (output_) fclose(output_);
        if (input_ >= 0) close(input_);
    }

    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    int port() const { return port_; }
    std::string address(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // The next line the server printed, without its line break; empty at its end.
    std::string next_line() {
        std::string line;
        if (!output_) return line;
        for (int c; (c = fgetc(output_)) != EOF && c != '\n';) line += static_cast<char>(c);
        return line;
    }

    // Ends the server now; its open connections close with it.
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    static std::string project_root() { return QUILLET_SOURCE_ROOT; }

private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
    int input_ = -1;  // the child's standard input, held open while it should run
    int port_ = 0;
};

}  // namespace quillet::testing_support
