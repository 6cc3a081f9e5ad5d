// A program an end-to-end test starts and watches (the program itself, xclip, xdotool, a
// target window): one of its output streams is read through a pipe, and its standard
// input is fed at the start and then closed. It is killed with the object if it still
// runs. POSIX only.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace quillet::test {

inline long monotonic_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// Runs `step` (which waits a few milliseconds for something to happen) until `done`
// holds; false when it still did not after `patience_ms`.
inline bool wait_until(const std::function<bool()>& done, long patience_ms, const std::function<void()>& step) {
    const long deadline = monotonic_ms() + patience_ms;
    while (!done()) {
        if (monotonic_ms() > deadline) return false;
        step();
    }
    return true;
}

class ChildProcess {
  public:
    // `captured` is the stream read (standard output or error); the other goes nowhere.
    explicit ChildProcess(std::vector<std::string> args, const std::string& input = {},
                          int captured = STDOUT_FILENO) {
        int out[2], in[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        if (pipe2(in, O_CLOEXEC) != 0) {
            close(out[0]);
            close(out[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], captured);
        posix_spawn_file_actions_addopen(&actions, captured == STDOUT_FILENO ? STDERR_FILENO : STDOUT_FILENO,
                                         "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(in[0]);
        out_ = out[0];
        if (!input.empty()) (void)!write(in[1], input.data(), input.size());
        close(in[1]);
        fcntl(out_, F_SETFL, O_NONBLOCK);
    }
    ~ChildProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads what is there, waiting at most `ms` for it; whether the process has ended.
    bool pump(int ms) {
        pollfd fd{out_, POLLIN, 0};
        if (poll(&fd, 1, ms) > 0) {
            char buffer[4096];
            ssize_t n;
            while ((n = read(out_, buffer, sizeof buffer)) > 0) output_.append(buffer, n);
        }
        int status = 0;
        if (!exited_ && pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return exited_ || pid_ <= 0;
    }
    // Reads its output until `done` holds; false when it still did not after `patience_ms`.
    bool until(const std::function<bool()>& done, long patience_ms) {
        return wait_until(done, patience_ms, [this] { pump(5); });
    }

    void signal(int number) { kill(pid_, number); }
    const std::string& output() const { return output_; }
    // The last complete line, without its line break.
    std::string last_line() const {
        const std::size_t end = output_.rfind('\n');
        if (end == std::string::npos) return {};
        const std::size_t before = end == 0 ? std::string::npos : output_.rfind('\n', end - 1);
        const std::size_t start = before == std::string::npos ? 0 : before + 1;
        return output_.substr(start, end - start);
    }
    // Its exit status once pump() saw it end; -1 before, or when a signal ended it.
    int status() const { return status_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    int status_ = -1;
    std::string output_;
};

}  // namespace quillet::test
