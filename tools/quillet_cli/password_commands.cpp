// generate and passwd: a random password, and a new login password for the program and
// its store.
#include <cstdio>

#include "app/login_password.h"
#include "app/password_generator.h"
#include "app/session.h"
#include "platform/terminal_password.h"
#include "tools/quillet_cli/commands.h"
#include "tools/quillet_cli/console.h"
#include "tools/quillet_cli/login.h"
#include "tools/quillet_cli/record_lookup.h"

namespace quillet::cli {
namespace {

// The login window's password box takes 16 characters, as the setup window's does; a
// longer password could never be typed there.
constexpr int kMaxLoginPasswordCharacters = 16;

int gbk_characters(const std::string& gbk) {
    int count = 0;
    for (std::size_t i = 0; i < gbk.size(); ++count) {
        const auto byte = static_cast<unsigned char>(gbk[i]);
        i += byte >= 0x81 && byte <= 0xFE && i + 1 < gbk.size() ? 2 : 1;
    }
    return count;
}

// Secrets of this command, wiped on every path.
struct Secrets {
    ~Secrets() {
        app::wipe_text(current);
        app::wipe_text(typed);
        app::wipe_text(repeated);
        app::wipe_text(replacement);
    }
    std::string current, typed, repeated, replacement;
};

}  // namespace

int run_generate(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--no-upper", "--no-symbols", "--no-digits"}, &error)) return usage_error(error);
    if (line.positional.size() != 1) return usage_error("generate takes one length");
    int length = 0;
    if (const int status = parse_password_length(line.positional.front(), &length); status != kExitOk) return status;
    app::PasswordClasses classes;
    classes.upper = !line.has("--no-upper");
    classes.symbols = !line.has("--no-symbols");
    classes.digits = !line.has("--no-digits");
    std::string password = app::generate_password(length, classes);
    print_line(password);
    app::wipe_text(password);
    return kExitOk;
}

namespace {

// The new login password, asked twice on a terminal or read from standard input, into
// `secrets.replacement`; kExitOk or a failure already reported.
int read_new_password(const CommandLine& line, Secrets& secrets) {
    if (line.has("--password-stdin")) {
        if (!read_input_line("", &secrets.typed)) return fail("standard input ended before the new password");
    } else {
        if (!platform::read_terminal_password("New login password: ", &secrets.typed) ||
            !platform::read_terminal_password("Repeat the new login password: ", &secrets.repeated)) {
            return fail("no new password was entered");
        }
        if (secrets.typed != secrets.repeated) return fail("the new passwords differ; nothing changed");
    }
    if (!to_store_text(secrets.typed, "the new password", &secrets.replacement)) return kExitFailure;
    if (secrets.replacement.empty()) return fail("the new password is empty; nothing changed");
    if (secrets.replacement == "?") return fail("\"?\" alone cannot be a password; nothing changed");
    if (gbk_characters(secrets.replacement) > kMaxLoginPasswordCharacters) {
        return fail("the new password is longer than " + std::to_string(kMaxLoginPasswordCharacters) +
                    " characters, which the login window cannot take; nothing changed");
    }
    return kExitOk;
}

}  // namespace

int run_passwd(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {}, &error)) return usage_error(error);
    if (!line.positional.empty()) return usage_error("passwd takes no arguments; it asks for the passwords");
    Secrets secrets;
    if (const int status = log_in(line, &secrets.current); status != kExitOk) return status;
    if (const int status = read_new_password(line, secrets); status != kExitOk) return status;

    switch (app::change_login_password(secrets.current, secrets.replacement)) {
        case app::PasswordChange::kDone:
            std::fprintf(stderr, "The login password is changed; data.edb is locked with the new one.\n");
            return kExitOk;
        case app::PasswordChange::kWrongPassword:
            return fail("wrong login password");
        case app::PasswordChange::kStoreFailed:
            return fail("data.edb could not be re-keyed; the old password still works");
        case app::PasswordChange::kSettingsFailed:
            return fail("data.ini could not be written; nothing changed");
    }
    return kExitFailure;
}

int run_recover(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {}, &error)) return usage_error(error);
    if (!line.positional.empty()) return usage_error("recover takes no arguments; it asks for the code and password");
    if (const int status = choose_directory(line); status != kExitOk) return status;
    Secrets secrets;
    const bool from_stdin = line.has("--password-stdin");
    if (from_stdin ? !read_input_line("", &secrets.current)
                   : !platform::read_terminal_password("Recovery code: ", &secrets.current)) {
        return fail("no recovery code was entered");
    }
    if (const int status = read_new_password(line, secrets); status != kExitOk) return status;
    switch (app::recover_login_password(secrets.current, secrets.replacement)) {
        case app::Recovery::kDone:
            std::fprintf(stderr, "The login password is changed; data.edb is locked with the new one. "
                                 "The recovery code stays valid.\n");
            return kExitOk;
        case app::Recovery::kWrongCode:
            return fail("the recovery code does not open this folder's data.ini; nothing changed");
        case app::Recovery::kStoreFailed:
            return fail("data.edb could not be re-keyed; the old password still works");
        case app::Recovery::kSettingsFailed:
            return fail("data.ini or ftp.ini could not be written; nothing changed");
    }
    return kExitFailure;
}

int run_recovery_code(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {}, &error)) return usage_error(error);
    if (!line.positional.empty()) return usage_error("recovery-code takes no arguments");
    Secrets secrets;
    if (const int status = log_in(line, &secrets.current); status != kExitOk) return status;
    std::string code;
    if (!app::replace_recovery_code(secrets.current, &code)) {
        return fail("data.ini could not be written; the old recovery code still works");
    }
    show_recovery_code(code);
    std::fprintf(stderr, "The old recovery code no longer works.\n");
    return kExitOk;
}

}  // namespace quillet::cli
