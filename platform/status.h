// The one result type for an operation whose failure must be explained: a code (0 means
// success) and a message a person can act on. Each subsystem keeps its own codes inside
// it (the engine its negative result codes, a transfer its reason kinds), so a caller
// branches on the code and shows the message, as it is or after its own text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace quillet::platform {

class [[nodiscard]] Status {
public:
    Status() = default;  // success

    // `code` is never 0.
    static Status failure(std::int32_t code, std::string message) { return Status(code, std::move(message)); }

    bool ok() const { return code_ == 0; }
    std::int32_t code() const { return code_; }
    // Empty on success.
    const std::string& message() const { return message_; }

private:
    Status(std::int32_t code, std::string message) : code_(code), message_(std::move(message)) {}

    std::int32_t code_ = 0;
    std::string message_;
};

}  // namespace quillet::platform
