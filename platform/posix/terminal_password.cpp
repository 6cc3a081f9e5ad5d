// A password is read from the controlling terminal, not from standard input (which
// scripts may use), and without echo, which needs the terminal's own settings.
#include "platform/terminal_password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quillet::platform {
namespace {

// Closes the terminal and puts its echo back on every path.
class Terminal {
  public:
    Terminal() : fd_(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY)) {
        if (fd_ >= 0 && ::tcgetattr(fd_, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
            quiet.c_lflag |= ECHONL;
            restore_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~Terminal() {
        if (restore_) ::tcsetattr(fd_, TCSAFLUSH, &saved_);
        if (fd_ >= 0) ::close(fd_);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool usable() const { return fd_ >= 0; }

    void write_text(const std::string& text) const {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }

    bool read_line(std::string* line) const {
        line->clear();
        char c = 0;
        for (;;) {
            const ssize_t n = ::read(fd_, &c, 1);
            if (n <= 0) return false;
            if (c == '\n') return true;
            if (c != '\r') *line += c;
        }
    }

  private:
    int fd_;
    termios saved_{};
    bool restore_ = false;
};

}  // namespace

bool read_terminal_password(const std::string& prompt_utf8, std::string* password_utf8) {
    Terminal terminal;
    if (!terminal.usable()) return false;
    terminal.write_text(prompt_utf8);
    const bool read = terminal.read_line(password_utf8);
    if (!read) terminal.write_text("\n");
    return read;
}

bool standard_input_is_terminal() { return ::isatty(STDIN_FILENO) == 1; }

}  // namespace quillet::platform
