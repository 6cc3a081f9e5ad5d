// Secrets in memory: wiping a std::string that held one, and a text that lives in locked
// memory (platform/locked_bytes.h) for as long as it is kept.
#pragma once

#include <string>
#include <string_view>

#include "platform/locked_bytes.h"

namespace quillet::platform {

// Overwrites every byte the string holds, its spare capacity included, in a way the
// compiler may not leave out, and empties it.
void wipe_secret(std::string& text);

// A password kept for a while: the session password, copies handed to worker threads
// and kept in closures. Its bytes stay out of swap and core dumps and are wiped when it
// ends; a moved-from one is empty.
class SecretText {
  public:
    SecretText() = default;
    // Takes the text and wipes the string it came in, spare capacity and all.
    explicit SecretText(std::string&& text) : bytes_(std::string_view(text)) { wipe_secret(text); }
    explicit SecretText(std::string_view text) : bytes_(text) {}
    explicit SecretText(const char* text) : bytes_(std::string_view(text)) {}

    std::string_view text() const { return bytes_.view(); }
    bool empty() const { return bytes_.empty(); }

  private:
    LockedBytes bytes_;
};

}  // namespace quillet::platform
