// A real FTP server for tests: ftp_server.py on 127.0.0.1, serving a fresh temporary
// root, started per test and stopped with it. Its log records every connection, login
// and command before the server answers it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ftp/server_trust.h"
#include "tests/support/script_process.h"
#include "tests/support/temp_directory.h"

namespace quillet::test {

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

// Writes a fresh test authority and server certificates into `directory`.
inline bool make_test_certificates(const std::string& directory) {
    return ScriptProcess("tests/support/test_certificates.py", {ScriptProcess::unix_path(directory)}).wait() == 0;
}

// What a user answers for the test servers without TLS: yes to plain FTP, and no
// certificate ever agreed to.
inline ftp::TrustConsent agree_to_plain_ftp() {
    return {[](const std::string&) { return true; }, {}};
}

class TestFtpServer {
  public:
    static constexpr const char* kUser = "user";
    static constexpr const char* kPassword = "secret";

    // `options` are the server's options separated by spaces; paths in them must be
    // given through ScriptProcess::unix_path().
    explicit TestFtpServer(const std::string& options = "") : process_("tests/ftp/ftp_server.py", arguments(options)) {
        std::sscanf(process_.next_line().c_str(), "READY %d", &port_);
    }

    // Stops the server at once, even in the middle of a transfer.
    void stop() { process_.stop(); }

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

    std::vector<std::string> arguments(const std::string& options) const {
        std::filesystem::create_directories(root());
        std::vector<std::string> all = {"--root",     ScriptProcess::unix_path(root()),
                                        "--log",      ScriptProcess::unix_path(log_path()),
                                        "--user",     kUser,
                                        "--password", kPassword};
        std::istringstream words(options);
        for (std::string word; words >> word;) all.push_back(word);
        return all;
    }

    TempDirectory directory_;
    int port_ = 0;
    ScriptProcess process_;
};

}  // namespace quillet::test
