// The login password: checked against the store it unlocks, kept in data.ini only as a
// vault that opens with the password or the recovery code (app/password_vault.h), and
// changed or recovered.
//
// A change touches data.edb, data.ini and ftp.ini. No write covers all three, so it goes
// in three steps, each atomic on its own, and the next login finishes or undoes a change
// that a crash interrupted:
//   1. data.ini gains a vault for the new password (section "pending") and ftp.ini's
//      password is sealed under both passwords;
//   2. data.edb is re-keyed;
//   3. data.ini keeps the new vault only, ftp.ini the new seal only.
// A crash before 2 leaves the old password opening the store, after 2 the new one; at
// every point data.ini and ftp.ini open with whichever password opens the store, and a
// login with it keeps that one and drops the other.
#pragma once

#include <functional>
#include <string>

namespace quillet::app {

struct LoginResult {
    enum class Kind {
        kLoggedIn,
        kWrongPassword,
        kStoreWithoutPassword,  // data.edb has no access password: nothing can be checked
    };
    Kind kind = Kind::kWrongPassword;
    // Logged in though data.edb did not open (missing, damaged, busy): what is wrong.
    std::string store_problem;
    // A recovery code made at this login (an old folder's first login, or a store whose
    // password the vault did not know): to be shown once.
    std::string new_recovery_code;
};

// Whether `typed` is the login password. The store decides: the password is right when
// data.edb opens with it. Only when the store cannot tell (missing, damaged, busy) does
// the vault decide, so that a user can still log in and download a good copy.
LoginResult log_in_with(const std::string& typed);

enum class PasswordChange {
    kDone,
    kWrongPassword,   // `current` is not the login password
    kStoreFailed,     // the store would not open or re-key; the old password still works
    kSettingsFailed,  // data.ini or ftp.ini could not be written; nothing changed
};

// Changes the login password and the store's access password from `current` to
// `replacement`, resealing ftp.ini's password on the way.
PasswordChange change_login_password(const std::string& current, const std::string& replacement);

enum class Recovery { kDone, kWrongCode, kStoreFailed, kSettingsFailed };
// Sets `replacement` as the login password for the holder of the recovery code.
Recovery recover_login_password(const std::string& code, const std::string& replacement);

// A new recovery code for a logged-in user; the old one stops working. False when
// `password` does not open the vault or data.ini could not be written.
bool replace_recovery_code(const std::string& password, std::string* recovery_code);

// Called after each step of a change with its number (1 to 3), so that tests can end
// the process between steps. Empty by default.
void set_password_change_step_hook(std::function<void(int step)> hook);

}  // namespace quillet::app
