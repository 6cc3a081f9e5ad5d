// The system clipboard. Replaceable so that tests record what would be copied.
#pragma once

#include <string>

namespace quillet::platform {

// Whether a copied text is a password: a secret is marked so that clipboard managers keep
// no history of it, and it is taken off the clipboard again after a while.
enum class Sensitivity { kPlain, kSecret };

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // Replaces the whole content with `text` (GBK), even when it is empty. A secret is
    // removed again after the secret lifetime, unless the clipboard holds something else
    // by then. Returns whether the clipboard took the text.
    virtual bool set_text(const std::string& text, Sensitivity sensitivity) = 0;
    // Empties the clipboard, but only when it still holds exactly the last secret this
    // program put there; what the user copied since is left alone.
    virtual void clear_secret() = 0;
    // Whether the clipboard still holds exactly the last secret this program put there.
    virtual bool holds_secret() = 0;
    // How long a secret stays; 30 seconds unless a test shortens it.
    virtual void set_secret_lifetime_ms(int milliseconds) = 0;
};

inline constexpr int kSecretLifetimeMs = 30000;

Clipboard& clipboard();
void set_clipboard(Clipboard* replacement);  // not owned; nullptr restores the system clipboard

}  // namespace quillet::platform
