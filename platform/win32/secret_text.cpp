#include "platform/secret_text.h"

#include <windows.h>

namespace quillet::platform {

void wipe_secret(std::string& text) {
    // The spare capacity may still hold the end of a longer text the string held before.
    text.resize(text.capacity());
    SecureZeroMemory(text.data(), text.size());
    text.clear();
}

}  // namespace quillet::platform
