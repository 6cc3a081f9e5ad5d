// Runs one of the project's Python test servers on 127.0.0.1 for a test. The server
// prints its port as its first line once it accepts connections; construction returns
// after reading it, so no test waits on a guess. Later lines (request logs) can be read
// one by one. The server ends with the object, or when the test dies.
#pragma once

#include <string>
#include <vector>

#include "tests/support/script_process.h"

namespace quillet::testing_support {

class LocalServer {
public:
    // `script` is relative to the project root.
    LocalServer(const std::string& script, const std::vector<std::string>& arguments = {})
        : process_(script, arguments) {
        const std::string first = process_.next_line();
        port_ = first.empty() ? 0 : std::stoi(first);
    }

    int port() const { return port_; }
    std::string address(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // The next line the server printed, without its line break; empty at its end.
    std::string next_line() { return process_.next_line(); }

    // Ends the server now; its open connections close with it.
    void stop() { process_.stop(); }

private:
    test::ScriptProcess process_;
    int port_ = 0;
};

}  // namespace quillet::testing_support
