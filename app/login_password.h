// The login password kept, enciphered, in data.ini, and its change.
//
// A change touches two files: data.edb is re-keyed with the new password and data.ini
// records it. Neither write can cover both files, so the change goes in three steps,
// each of them atomic on its own, and the check below finishes or undoes a change that a
// crash interrupted:
//   1. data.ini gains the pending new password (section "pending");
//   2. data.edb is re-keyed;
//   3. data.ini takes the new password as the login password and drops the pending one.
// A crash before 2 leaves the old password opening the store, after 2 the new one; the
// check tries the pending password on the store and keeps whichever one opens it.
#pragma once

#include <functional>
#include <string>

namespace quillet::app {

// Whether `typed` is the login password. A change left half done by a crash is finished
// or rolled back first. Both the login window and the command line check through here.
bool check_login_password(const std::string& typed);

enum class PasswordChange {
    kDone,
    kWrongPassword,   // `current` is not the login password
    kStoreFailed,     // the store would not open or re-key; the old password still works
    kSettingsFailed,  // data.ini could not be written; nothing changed
};

// Changes the login password and the store's access password from `current` to
// `replacement`.
PasswordChange change_login_password(const std::string& current, const std::string& replacement);

// Called after each step of a change with its number (1 to 3), so that tests can end
// the process between steps. Empty by default.
void set_password_change_step_hook(std::function<void(int step)> hook);

}  // namespace quillet::app
