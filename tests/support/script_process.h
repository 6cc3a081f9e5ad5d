// Runs one of the tests' Python scripts (a test server, a certificate maker) as a child
// of the test, on Linux and under Wine alike: tests/support/attached.py starts it and
// ties it to the test by a TCP connection on 127.0.0.1. The script's output arrives line
// by line; the script is killed with the object, or when the test dies.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quillet::test {

class ScriptProcess {
  public:
    // `script` is relative to the project root; arguments naming local paths must be
    // given through unix_path().
    ScriptProcess(const std::string& script, const std::vector<std::string>& arguments = {});
    ~ScriptProcess();
    ScriptProcess(const ScriptProcess&) = delete;
    ScriptProcess& operator=(const ScriptProcess&) = delete;

    // False when the script could not be started.
    bool started() const;
    // The next line the script printed, without its line break; "" at its end.
    std::string next_line();
    // Kills the script and returns once it has gone, with its connections.
    void stop();
    // Waits for the script to end by itself: its exit status, or -1 when it was killed
    // or never ran.
    int wait();

    // The path by which the scripts (always Linux programs) reach a local path.
    static std::string unix_path(const std::string& path);

    // What each system provides: a connection accepted from the started relay.
    class Connection;

  private:
    std::unique_ptr<Connection> connection_;
    std::string buffer_;
    bool ended_ = false;
    int status_ = -1;
};

}  // namespace quillet::test
