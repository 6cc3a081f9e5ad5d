#include "app/login_password.h"

#include <utility>

#include "app/record_store.h"
#include "app/session.h"
#include "app/text_cipher.h"
#include "db/database.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"

namespace quillet::app {
namespace {

constexpr char kPasswordSection[] = "password";
constexpr char kPendingSection[] = "pending";

std::function<void(int)>& step_hook() {
    static std::function<void(int)> hook;
    return hook;
}

void step_done(int step) {
    if (step_hook()) step_hook()(step);
}

std::string settings_path() { return platform::program_file("data.ini"); }

// A deciphered secret from data.ini, wiped when it goes.
class SettingSecret {
  public:
    explicit SettingSecret(const char* section)
        : text_(decipher(platform::read_setting(settings_path(), section, section), kCipherKey)) {}
    ~SettingSecret() { wipe_text(text_); }
    SettingSecret(const SettingSecret&) = delete;
    SettingSecret& operator=(const SettingSecret&) = delete;

    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

bool write_secret(const char* section, const std::string& plain) {
    // An empty value deciphers to empty text: the key stays, meaning "none".
    return platform::write_setting(settings_path(), section, section,
                                   plain.empty() ? std::string() : encipher(plain, kCipherKey));
}

bool store_opens_with(const std::string& password) {
    // "?" alone would make the engine ask for a password; no store can carry it.
    if (password.empty() || password == "?") return false;
    const auto store_lock = lock_store();
    const std::string path = platform::program_file("data.edb");
    db::OpenOptions options;
    options.password = password;
    if (!db::open_database(path, options)) return false;
    db::close_database(path);
    return true;
}

// Finishes a change whose re-key went through, or forgets one whose re-key did not.
// When the store opens with neither password (it is missing or busy) the change stays
// pending for a later check.
void settle_pending_change() {
    const SettingSecret pending(kPendingSection);
    if (pending.text().empty()) return;
    if (store_opens_with(pending.text())) {
        if (write_secret(kPasswordSection, pending.text())) write_secret(kPendingSection, {});
        return;
    }
    const SettingSecret stored(kPasswordSection);
    if (store_opens_with(stored.text())) write_secret(kPendingSection, {});
}

enum class Rekey { kDone, kNotOpened, kFailed };

Rekey rekey_store(const std::string& current, const std::string& replacement) {
    const auto store_lock = lock_store();
    const std::string path = platform::program_file("data.edb");
    db::OpenOptions options;
    options.password = current;
    if (!db::open_database(path, options)) return Rekey::kNotOpened;
    const bool rekeyed = db::set_access_password(replacement);
    db::close_database(path);
    db::forget_cached_keys();
    return rekeyed ? Rekey::kDone : Rekey::kFailed;
}

}  // namespace

bool check_login_password(const std::string& typed) {
    if (typed.empty()) return false;
    settle_pending_change();
    const SettingSecret stored(kPasswordSection);
    if (!stored.text().empty() && typed == stored.text()) return true;
    // Still pending: the store could not tell which password it carries, so either may
    // be the one that opens it.
    const SettingSecret pending(kPendingSection);
    return !pending.text().empty() && typed == pending.text();
}

PasswordChange change_login_password(const std::string& current, const std::string& replacement) {
    if (!check_login_password(current)) return PasswordChange::kWrongPassword;
    if (replacement.empty() || !write_secret(kPendingSection, replacement)) return PasswordChange::kSettingsFailed;
    step_done(1);
    switch (rekey_store(current, replacement)) {
        case Rekey::kDone:
            break;
        case Rekey::kNotOpened:
            // Nothing was re-keyed, so the pending password must not count.
            write_secret(kPendingSection, {});
            return PasswordChange::kStoreFailed;
        case Rekey::kFailed:
            // The store tells which password it ended up with.
            settle_pending_change();
            return PasswordChange::kStoreFailed;
    }
    step_done(2);
    // If this fails, the next check finds the pending password opening the store and
    // finishes the change then.
    if (write_secret(kPasswordSection, replacement)) write_secret(kPendingSection, {});
    step_done(3);
    return PasswordChange::kDone;
}

void set_password_change_step_hook(std::function<void(int step)> hook) { step_hook() = std::move(hook); }

}  // namespace quillet::app
