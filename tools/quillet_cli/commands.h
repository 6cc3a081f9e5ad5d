// quillet-cli's commands. Each takes the parsed command line and returns the exit status.
#pragma once

#include "tools/quillet_cli/command_line.h"

namespace quillet::cli {

// The records: a table, one record, and adding, changing and removing one.
int run_ls(const CommandLine& line);
int run_show(const CommandLine& line);
int run_add(const CommandLine& line);
int run_edit(const CommandLine& line);
int run_rm(const CommandLine& line);

// A record's account or password on the clipboard for a while.
int run_clip(const CommandLine& line);

// A random password; a new login password; a new one with the recovery code; a new
// recovery code.
int run_generate(const CommandLine& line);
int run_passwd(const CommandLine& line);
int run_recover(const CommandLine& line);
int run_recovery_code(const CommandLine& line);

// The records to and from CSV files.
int run_export(const CommandLine& line);
int run_import(const CommandLine& line);

// The records of another store merged into this one.
int run_merge(const CommandLine& line);
// Download, merge and upload with the saved FTP settings.
int run_sync(const CommandLine& line);
// The plain store out of a sealed copy from a server.
int run_unseal(const CommandLine& line);

}  // namespace quillet::cli
