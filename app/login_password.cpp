#include "app/login_password.h"

#include <optional>
#include <utility>

#include "app/database_check.h"
#include "app/ftp_password.h"
#include "app/password_vault.h"
#include "app/record_store.h"
#include "app/session.h"
#include "app/store_sync.h"
#include "app/text_cipher.h"
#include "db/database_handle.h"
#include "db/result_code.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"

namespace quillet::app {
namespace {

using platform::LockedBytes;

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
std::string ftp_settings_path() { return platform::program_file("ftp.ini"); }

std::string read_value(const char* section) { return platform::read_setting(settings_path(), section, section); }
void remove_value(const char* section) { platform::remove_setting(settings_path(), section, section); }
bool write_value(const char* section, const std::string& value) {
    return platform::write_setting(settings_path(), section, section, value);
}

std::string read_ftp_password() { return platform::read_setting(ftp_settings_path(), "ftp", "password"); }
bool write_ftp_password(const std::string& value) {
    return platform::write_setting(ftp_settings_path(), "ftp", "password", value);
}

// One of data.ini's two password values: a vault, or the old enciphered password that
// older versions wrote (read only to upgrade it).
struct StoredPassword {
    explicit StoredPassword(const char* section) : text(read_value(section)) { is_vault = parse_vault(text, &vault); }
    bool empty() const { return text.empty(); }
    // Whether `typed` is the password this value keeps.
    bool holds(const std::string& typed) const {
        if (is_vault) return vault_holds(vault, typed);
        std::string old = decipher(text, kCipherKey);
        const bool same = !old.empty() && same_secret(old, typed);
        wipe_text(old);
        return same;
    }

    std::string text;
    bool is_vault = false;
    PasswordVault vault;
};

// What opening data.edb as the credential store with a password says: success, the
// engine's -78 for a wrong password, or why the store could not tell.
platform::Status open_store_with(const std::string& password) {
    if (password.empty()) return db::status_of(db::kWrongPassword);
    const auto store_lock = lock_store();
    db::Database store;
    return open_credential_store(platform::program_file("data.edb"), password, &store);
}

// The engine refuses every password on a store that has none: told apart from a wrong one.
bool store_has_no_password() {
    const auto store_lock = lock_store();
    db::Database store;
    return db::Database::open(platform::program_file("data.edb"), {}, &store).ok();
}

std::string store_problem(const platform::Status& status) {
    return "数据文件 data.edb 无法打开（" + status.message() +
           "）。已登录，请检查该文件，或通过FTP下载一份完好的数据文件。";
}

// The ftp.ini value after a change settles on `password`: only the entries it opens.
// Costs a derivation per entry, and runs only when a change was interrupted.
void settle_ftp_password(const std::string& password) {
    const std::string stored = read_ftp_password();
    if (stored.find(',') == std::string::npos) return;
    const auto key = derive_ftp_key(stored, password);
    LockedBytes ftp_password;
    if (open_ftp_password(*key, stored, &ftp_password)) {
        write_ftp_password(seal_ftp_password(*key, ftp_password.view()));
    }
}

// Keeps `kept` as the one vault; the value under "pending" goes. A crash between the two
// writes leaves both equal, which settles the same way next time.
bool keep_vault(const std::string& kept) {
    if (!write_value(kPasswordSection, kept)) return false;
    remove_value(kPendingSection);
    return true;
}

// A new vault (and recovery code) for a password the store has confirmed.
void replace_vault(const std::string& password, LoginResult* result) {
    std::string code;
    if (keep_vault(format_vault(new_vault(password, &code)))) result->new_recovery_code = std::move(code);
}

LoginResult logged_in() { return LoginResult{LoginResult::Kind::kLoggedIn, {}, {}}; }

enum class Rekey { kDone, kNotOpened, kFailed };

// Re-keys the file at `path` when it opens as the credential store with `current`.
Rekey rekey_file(const std::string& path, const std::string& current, const std::string& replacement) {
    db::Database file;
    if (!open_credential_store(path, current, &file).ok()) return Rekey::kNotOpened;
    return file.set_password(replacement).ok() ? Rekey::kDone : Rekey::kFailed;
}

Rekey rekey_store(const std::string& current, const std::string& replacement) {
    const auto store_lock = lock_store();
    const Rekey store = rekey_file(platform::program_file("data.edb"), current, replacement);
    // The sync base follows the store, not before it: until the store is re-keyed the
    // base must still open with the password that opens the store. A crash in between
    // leaves a base that no longer opens, which the next sync treats as no base.
    if (store == Rekey::kDone) rekey_file(sync_base_file(), current, replacement);
    db::forget_cached_keys();
    return store;
}

// The vault for the password that opens the store now; the one the store confirms.
// Empty when data.ini holds no vault.
std::optional<PasswordVault> confirmed_vault(const std::string& password) {
    for (const char* section : {kPasswordSection, kPendingSection}) {
        const StoredPassword stored(section);
        if (stored.is_vault && stored.holds(password)) return stored.vault;
    }
    return std::nullopt;
}

// Steps 1 to 3 of a change, from a password the store has confirmed.
PasswordChange change_confirmed(const std::string& current, const std::string& replacement, const PasswordVault& vault,
                                const LockedBytes& data_key) {
    const std::string pending = format_vault(vault_for_new_password(vault, data_key, replacement));
    const std::string ftp_stored = read_ftp_password();
    std::string ftp_old_and_new, ftp_new;
    if (!ftp_stored.empty()) {
        LockedBytes ftp_password;
        const auto old_key = derive_ftp_key(ftp_stored, current);
        if (open_ftp_password(*old_key, ftp_stored, &ftp_password)) {
            const auto new_key = derive_ftp_key({}, replacement);
            ftp_new = seal_ftp_password(*new_key, ftp_password.view());
            ftp_old_and_new = seal_ftp_password(*old_key, ftp_password.view()) + ',' + ftp_new;
        }
        // An old enciphered value stays as it is: the FTP window reseals it under the
        // session's key when it next loads.
    }
    if (!write_value(kPendingSection, pending) || (!ftp_new.empty() && !write_ftp_password(ftp_old_and_new))) {
        remove_value(kPendingSection);
        return PasswordChange::kSettingsFailed;
    }
    step_done(1);
    switch (rekey_store(current, replacement)) {
        case Rekey::kDone:
            break;
        case Rekey::kNotOpened:
        case Rekey::kFailed:
            // The store tells which password it ended up with; the next login settles it.
            if (open_store_with(current).ok()) {
                remove_value(kPendingSection);
                settle_ftp_password(current);
            }
            return PasswordChange::kStoreFailed;
    }
    step_done(2);
    // If these fail, the next login finds the new password opening the store and keeps
    // what opens with it.
    if (keep_vault(pending) && !ftp_new.empty()) write_ftp_password(ftp_new);
    step_done(3);
    return PasswordChange::kDone;
}

}  // namespace

LoginResult log_in_with(const std::string& typed) {
    if (typed.empty()) return {};
    const platform::Status opened = open_store_with(typed);
    if (opened.code() == db::kWrongPassword) {
        if (store_has_no_password()) return LoginResult{LoginResult::Kind::kStoreWithoutPassword, {}, {}};
        return {};
    }
    const StoredPassword current(kPasswordSection);
    const StoredPassword pending(kPendingSection);
    LoginResult result = logged_in();
    if (opened.ok()) {
        // The store has confirmed the password; data.ini follows it.
        if (current.is_vault && current.holds(typed)) {
            if (!pending.empty()) {
                remove_value(kPendingSection);
                settle_ftp_password(typed);
            }
        } else if (pending.is_vault && pending.holds(typed)) {
            keep_vault(pending.text);
            settle_ftp_password(typed);
        } else {
            // An old folder, or a store whose password the vault does not know (copied
            // in, or re-keyed by another tool): the vault starts anew.
            replace_vault(typed, &result);
            if (!pending.empty()) settle_ftp_password(typed);
        }
        return result;
    }
    // The store cannot tell; the password data.ini keeps decides, and the change that
    // may be under way stays for a login that can open the store.
    if (!current.holds(typed) && !pending.holds(typed)) return {};
    result.store_problem = store_problem(opened);
    if (!current.is_vault && !pending.is_vault) replace_vault(typed, &result);
    return result;
}

PasswordChange change_login_password(const std::string& current, const std::string& replacement) {
    if (replacement.empty()) return PasswordChange::kSettingsFailed;
    const LoginResult login = log_in_with(current);
    if (login.kind != LoginResult::Kind::kLoggedIn) return PasswordChange::kWrongPassword;
    if (!login.store_problem.empty()) return PasswordChange::kStoreFailed;
    const std::optional<PasswordVault> vault = confirmed_vault(current);
    LockedBytes data_key;
    if (!vault || !open_with_password(*vault, current, &data_key)) return PasswordChange::kSettingsFailed;
    return change_confirmed(current, replacement, *vault, data_key);
}

Recovery recover_login_password(const std::string& code, const std::string& replacement) {
    // During a change both vaults share the data key and recovery wrap; the store tells
    // which password is the current one.
    for (const char* section : {kPasswordSection, kPendingSection}) {
        const StoredPassword stored(section);
        LockedBytes data_key, password;
        if (!stored.is_vault || !open_with_recovery_code(stored.vault, code, &data_key) ||
            !kept_password(stored.vault, data_key, &password)) {
            continue;
        }
        std::string current(password.view());
        const bool confirmed = open_store_with(current).ok();
        if (confirmed && section == kPendingSection) keep_vault(stored.text);
        const PasswordChange change =
            confirmed ? change_confirmed(current, replacement, stored.vault, data_key) : PasswordChange::kWrongPassword;
        wipe_text(current);
        if (!confirmed) continue;
        switch (change) {
            case PasswordChange::kDone:
                return Recovery::kDone;
            case PasswordChange::kSettingsFailed:
                return Recovery::kSettingsFailed;
            case PasswordChange::kWrongPassword:
            case PasswordChange::kStoreFailed:
                return Recovery::kStoreFailed;
        }
    }
    return Recovery::kWrongCode;
}

bool replace_recovery_code(const std::string& password, std::string* recovery_code) {
    const std::optional<PasswordVault> vault = confirmed_vault(password);
    LockedBytes data_key;
    if (!vault || !open_with_password(*vault, password, &data_key)) return false;
    std::string code;
    if (!keep_vault(format_vault(vault_with_new_recovery_code(*vault, data_key, &code)))) return false;
    *recovery_code = std::move(code);
    return true;
}

void set_password_change_step_hook(std::function<void(int step)> hook) { step_hook() = std::move(hook); }

}  // namespace quillet::app
