#include "tools/quillet_cli/login.h"

#include <cstdio>
#include <optional>

#include "app/login_password.h"
#include "app/record_transfer.h"
#include "app/session.h"
#include "platform/data_directory.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"
#include "platform/terminal_password.h"
#include "platform/text_codec.h"
#include "tools/quillet_cli/console.h"

namespace quillet::cli {

int choose_directory(const CommandLine& line) {
    if (!line.has("--dir")) {
        std::string chosen;
        if (!platform::settle_data_directory(&chosen)) {
            return fail("cannot create the data directory " + platform::gbk_to_utf8(chosen));
        }
        return kExitOk;
    }
    std::string directory;
    if (!to_store_text(line.value("--dir"), "the directory name", &directory)) return kExitUsage;
    if (!platform::is_directory(directory)) return fail("no such directory: " + line.value("--dir"));
    platform::set_program_directory(platform::full_path(directory));
    return kExitOk;
}

int log_in(const CommandLine& line, std::string* password) {
    if (const int status = choose_directory(line); status != kExitOk) return status;
    const std::string where = platform::gbk_to_utf8(platform::program_directory());
    if (platform::read_setting(platform::program_file("data.ini"), "reg", "reg") != "1") {
        return fail("no login password has been set in " + where + "; start the program there once to choose one");
    }
    if (!platform::is_existing_file(platform::program_file("data.edb"))) {
        return fail(where + " holds no data.edb; start the program there to create it");
    }
    if (const int status = read_login_password(line, password); status != kExitOk) return status;
    const app::LoginResult login = app::log_in_with(*password);
    switch (login.kind) {
        case app::LoginResult::Kind::kLoggedIn:
            break;
        case app::LoginResult::Kind::kWrongPassword:
            app::wipe_text(*password);
            return fail("wrong login password");
        case app::LoginResult::Kind::kStoreWithoutPassword:
            app::wipe_text(*password);
            return fail(
                "data.edb has no access password, so no login password can be checked against it; "
                "set one with: edb passwd data.edb");
    }
    if (!login.store_problem.empty()) std::fprintf(stderr, "%s\n", platform::gbk_to_utf8(login.store_problem).c_str());
    if (!login.new_recovery_code.empty()) show_recovery_code(login.new_recovery_code);
    return kExitOk;
}

int read_login_password(const CommandLine& line, std::string* password) {
    std::string typed;
    if (line.has("--password-stdin")) {
        if (!read_input_line("", &typed)) return fail("standard input ended before the login password");
    } else if (!platform::read_terminal_password("Login password: ", &typed)) {
        return fail("no terminal to ask the login password on (use --password-stdin)");
    }
    const bool converted = to_store_text(typed, "the password", password);
    app::wipe_text(typed);
    return converted ? kExitOk : kExitFailure;
}

void show_recovery_code(const std::string& code) {
    std::fprintf(stderr,
                 "Your recovery code: %s\n"
                 "Write it down and keep it away from this computer; it is not shown again. When the login\n"
                 "password is forgotten, `quillet-cli recover` sets a new one with it.\n",
                 code.c_str());
}

bool to_store_text(const std::string& utf8, const std::string& what, std::string* gbk) {
    std::optional<std::string> converted = app::exact_gbk(utf8);
    if (!converted) {
        fail(what + " holds characters the store cannot keep (it keeps GBK text)");
        return false;
    }
    *gbk = std::move(*converted);
    return true;
}

}  // namespace quillet::cli
