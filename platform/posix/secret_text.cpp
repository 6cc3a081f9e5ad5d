#include "platform/secret_text.h"

#include <string.h>

namespace quillet::platform {

void wipe_secret(std::string& text) {
    // The spare capacity may still hold the end of a longer text the string held before.
    text.resize(text.capacity());
    explicit_bzero(text.data(), text.size());
    text.clear();
}

}  // namespace quillet::platform
