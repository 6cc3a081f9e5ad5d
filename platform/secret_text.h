// Wiping secrets from memory once they are no longer needed.
#pragma once

#include <string>

namespace quillet::platform {

// Overwrites every byte the string holds, its spare capacity included, in a way the
// compiler may not leave out, and empties it.
void wipe_secret(std::string& text);

// A copy of a password that wipes itself when it ends. For copies handed to worker
// threads and kept in closures, which no one would otherwise remember to wipe.
class SecretText {
  public:
    SecretText() = default;
    explicit SecretText(std::string text) : text_(std::move(text)) {}
    SecretText(const SecretText& other) : text_(other.text_) {}
    // Moving leaves the source wiped: a short string's bytes would stay behind in it.
    SecretText(SecretText&& other) noexcept : text_(other.text_) { wipe_secret(other.text_); }
    SecretText& operator=(const SecretText& other) {
        if (this != &other) {
            wipe_secret(text_);
            text_ = other.text_;
        }
        return *this;
    }
    SecretText& operator=(SecretText&& other) noexcept {
        if (this != &other) {
            *this = static_cast<const SecretText&>(other);
            wipe_secret(other.text_);
        }
        return *this;
    }
    ~SecretText() { wipe_secret(text_); }

    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

}  // namespace quillet::platform
