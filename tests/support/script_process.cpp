#include "tests/support/script_process.h"

#include <string_view>

#include "tests/support/script_connection.h"

namespace quillet::test {

namespace {
constexpr std::string_view kExitLine = "[exit ";
}

ScriptProcess::ScriptProcess(const std::string& script, const std::vector<std::string>& arguments) {
    const std::string root = QUILLET_SOURCE_DIR "/";
    std::vector<std::string> relayed = {root + script};
    relayed.insert(relayed.end(), arguments.begin(), arguments.end());
    connection_ = Connection::start(root + "tests/support/attached.py", relayed);
    ended_ = connection_ == nullptr;
}

ScriptProcess::~ScriptProcess() { stop(); }

bool ScriptProcess::started() const { return connection_ != nullptr; }

std::string ScriptProcess::next_line() {
    while (!ended_) {
        const std::size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (!line.starts_with(kExitLine)) return line;
            status_ = std::stoi(line.substr(kExitLine.size()));
            ended_ = true;
            break;
        }
        char chunk[4096];
        const std::size_t received = connection_->receive(chunk, sizeof chunk);
        if (received == 0) ended_ = true;
        buffer_.append(chunk, received);
    }
    return {};
}

int ScriptProcess::wait() {
    while (!ended_) next_line();
    return status_;
}

void ScriptProcess::stop() {
    if (connection_ == nullptr) return;
    connection_->end_sending();
    char ignored[4096];
    while (connection_->receive(ignored, sizeof ignored) > 0) {
    }
    connection_.reset();
    ended_ = true;
}

}  // namespace quillet::test
