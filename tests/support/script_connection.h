// What each system provides to ScriptProcess: starting the relay and talking to it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/script_process.h"

namespace quillet::test {

class ScriptProcess::Connection {
  public:
    // Listens on 127.0.0.1, starts `python3 attached.py PORT arguments...` and accepts its
    // connection; nullptr when any step fails (the wait for the relay is bounded).
    static std::unique_ptr<Connection> start(const std::string& relay, const std::vector<std::string>& arguments);
    ~Connection();

    // Bytes received into `buffer`; 0 at the end of the connection or on failure.
    std::size_t receive(char* buffer, std::size_t size);
    // Tells the relay to kill the script; the connection ends once it has gone.
    void end_sending();

    struct Handles;
    explicit Connection(std::unique_ptr<Handles> handles);

  private:
    std::unique_ptr<Handles> handles_;
};

}  // namespace quillet::test
