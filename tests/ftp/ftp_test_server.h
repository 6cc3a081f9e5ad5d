// A real FTP server for tests: ftp_server.py on 127.0.0.1, serving a fresh temporary
// root, started per test and stopped with it. Its log records every connection, login
// and command before the server answers it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace quillet::test {

// A fresh empty directory under the system's temporary directory, removed at the end.
class TempDirectory {
  public:
    TempDirectory() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("quillet-ftp-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

inline std::string read_file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Creates missing parent directories.
inline void write_file_bytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class TestFtpServer {
  public:
    static constexpr const char* kUser = "user";
    static constexpr const char* kPassword = "secret";

    explicit TestFtpServer(const std::string& options = "") {
        std::filesystem::create_directories(root());
        const std::string script = std::string(QUILLET_SOURCE_ROOT) + "tests/ftp/ftp_server.py";
        const std::string command = "exec /usr/bin/python3 " + script + " --root " + root() + " --log " + log_path() +
                                    " --user " + kUser + " --password " + kPassword + " " + options + " 2>/dev/null";
        pipe_ = popen(command.c_str(), "r");
        char line[128] = {};
        if (pipe_ != nullptr && std::fgets(line, sizeof line, pipe_) != nullptr) {
            std::sscanf(line, "READY %d %d", &port_, &pid_);
        }
    }
    ~TestFtpServer() { stop(); }

    // Stops the server at once, even in the middle of a transfer.
    void stop() {
        if (pipe_ == nullptr) return;
        if (pid_ > 0) std::system(("kill -9 " + std::to_string(pid_)).c_str());
        pclose(pipe_);
        pipe_ = nullptr;
    }

    bool ready() const { return port_ > 0; }
    int port() const { return port_; }
    std::string root() const { return directory_.path() + "/root"; }
    std::string file(const std::string& relative) const { return root() + "/" + relative; }
    std::string log() const { return read_file_bytes(log_path()); }
    // Log lines starting with `prefix`.
    std::vector<std::string> lines(const std::string& prefix) const {
        std::vector<std::string> found;
        std::istringstream stream(log());
        for (std::string line; std::getline(stream, line);) {
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        }
        return found;
    }

  private:
    std::string log_path() const { return directory_.path() + "/server.log"; }

    TempDirectory directory_;
    FILE* pipe_ = nullptr;
    int port_ = 0;
    int pid_ = 0;
};

}  // namespace quillet::test
