// edb's commands. Each takes the parsed command line and returns the exit status.
#pragma once

#include "tools/edb/arguments.h"

namespace quillet::edb {

// Reading: the header as JSON, every record as JSON lines, a full consistency walk.
int run_info(const Arguments& arguments);
int run_dump(const Arguments& arguments);
int run_check(const Arguments& arguments);

// Writing: a new file, a new record, deletion marks, purge, the access password.
int run_create(const Arguments& arguments);
int run_append(const Arguments& arguments);
int run_delete(const Arguments& arguments);
int run_undelete(const Arguments& arguments);
int run_purge(const Arguments& arguments);
int run_passwd(const Arguments& arguments);

}  // namespace quillet::edb
