#include "tools/edb/password_input.h"

#include <cstdio>

#include "platform/secret_text.h"
#include "platform/terminal_password.h"

namespace quillet::edb {

bool read_standard_input_line(std::string* line_utf8) {
    line_utf8->clear();
    int c;
    bool any = false;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n') break;
        line_utf8->push_back(static_cast<char>(c));
    }
    if (!line_utf8->empty() && line_utf8->back() == '\r') line_utf8->pop_back();
    return any;
}

bool ask_new_password(std::string* password_utf8, std::string* error) {
    std::string repeated;
    if (!platform::read_terminal_password("New password: ", password_utf8) ||
        !platform::read_terminal_password("Repeat the new password: ", &repeated)) {
        *error = "passwd: no terminal to ask for the new password on (give NEW, or \"-\" for standard input)";
        platform::wipe_secret(*password_utf8);
        platform::wipe_secret(repeated);
        return false;
    }
    const bool same = repeated == *password_utf8;
    platform::wipe_secret(repeated);
    if (!same) {
        platform::wipe_secret(*password_utf8);
        *error = "passwd: the two entries differ; the password is unchanged";
        return false;
    }
    return true;
}

}  // namespace quillet::edb
