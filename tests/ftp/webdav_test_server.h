// A real Apache WebDAV server for tests (tests/ftp/webdav_server.py) on 127.0.0.1, its
// folders in a temporary directory of the test's; stopped with the object. It can be
// restarted on the same folders and ports, with another certificate.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "tests/ftp/ftp_test_server.h"
#include "tests/support/script_process.h"
#include "tests/support/temp_directory.h"

namespace quillet::test {

class TestWebDavServer {
  public:
    static constexpr const char* kUser = "user";
    static constexpr const char* kPassword = "secret";

    // `certificate` names one of make_test_certificates' files ("self_a.pem", ...).
    explicit TestWebDavServer(const std::string& certificate = "self_a.pem") {
        make_test_certificates(certificates());
        start(certificate);
    }

    // Stops the server at once, even in the middle of a transfer.
    void stop() { process_.reset(); }
    // Starts it again on the same folders and ports.
    void restart(const std::string& certificate) {
        stop();
        start(certificate, true);
    }

    bool ready() const { return plain_port_ > 0 && tls_port_ > 0; }
    std::string http_url(const std::string& path = "/dav/") const {
        return "http://127.0.0.1:" + std::to_string(plain_port_) + path;
    }
    // By name: Schannel checks a certificate's names, never its IP addresses.
    std::string https_url(const std::string& path = "/dav/") const {
        return "https://localhost:" + std::to_string(tls_port_) + path;
    }
    // A file under the DAV folder, as the server stores it.
    std::string file(const std::string& relative) const { return directory_.path() + "/www/dav/" + relative; }
    std::string certificates() const { return directory_.path() + "/certificates"; }
    // The SHA-256 of a certificate file, as the trust store keeps it.
    std::string fingerprint(const std::string& certificate) const {
        std::string digest = read_file_bytes(certificates() + "/" + certificate.substr(0, certificate.find('.')) +
                                             ".sha256");
        while (!digest.empty() && (digest.back() == '\n' || digest.back() == '\r')) digest.pop_back();
        return digest;
    }

  private:
    void start(const std::string& certificate, bool same_ports = false) {
        std::vector<std::string> arguments = {
            "--dir",  ScriptProcess::unix_path(directory_.path()),
            "--cert", ScriptProcess::unix_path(certificates() + "/" + certificate),
            "--user", kUser,
            "--password", kPassword};
        if (same_ports) {
            arguments.insert(arguments.end(), {"--ports", std::to_string(plain_port_), std::to_string(tls_port_)});
        }
        process_ = std::make_unique<ScriptProcess>("tests/ftp/webdav_server.py", arguments);
        plain_port_ = tls_port_ = 0;
        std::sscanf(process_->next_line().c_str(), "READY %d %d", &plain_port_, &tls_port_);
    }

    TempDirectory directory_;
    int plain_port_ = 0;
    int tls_port_ = 0;
    std::unique_ptr<ScriptProcess> process_;
};

}  // namespace quillet::test
