// Who may use the store: the directory it is in (the program directory or --dir) and the
// login password, asked on the terminal without echo or read from standard input with
// --password-stdin, and checked against the store as the login window checks it.
#pragma once

#include <string>

#include "tools/quillet_cli/command_line.h"

namespace quillet::cli {

// Points the program at --dir when given. kExitOk, or a failure already reported.
int choose_directory(const CommandLine& line);

// The login password (GBK) once it has been checked, in `*password`; otherwise the
// failure is reported and its exit status returned.
int log_in(const CommandLine& line, std::string* password);

// The login password (GBK) as typed, unchecked, for what it opens without the store (a
// sealed copy from a server); otherwise the failure is reported and its exit status returned.
int read_login_password(const CommandLine& line, std::string* password);

// Shows a recovery code made for the user, once.
void show_recovery_code(const std::string& code);

// A text typed on the terminal in the store's GBK; reports text GBK cannot hold.
bool to_store_text(const std::string& utf8, const std::string& what, std::string* gbk);

}  // namespace quillet::cli
