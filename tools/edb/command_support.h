// What edb's commands share: exit statuses, failure reports on standard error (engine
// messages converted to UTF-8), and an open database that is closed on every path.
#pragma once

#include <cstdint>
#include <string>

#include "tools/edb/arguments.h"

namespace quillet::edb {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an engine failure, or a problem that check found
inline constexpr int kExitUsage = 2;    // a wrong command line or value

// "edb: error CODE: MESSAGE" on standard error; returns kExitFailure.
int report_engine_failure(std::int32_t code);
// The engine's last error of this thread, reported as above.
int report_last_engine_failure();
// "edb: MESSAGE" and a hint to "edb help"; returns kExitUsage.
int report_usage_error(const std::string& message_utf8);

// The file name of the command line in the engine's text (GBK).
std::string engine_path(const std::string& path_utf8);

// Opens the data file as the current database and closes it again when it goes.
class OpenedDatabase {
  public:
    OpenedDatabase(const std::string& path_utf8, const Arguments& arguments, bool read_only);
    ~OpenedDatabase();
    OpenedDatabase(const OpenedDatabase&) = delete;
    OpenedDatabase& operator=(const OpenedDatabase&) = delete;

    bool is_open() const { return open_; }

  private:
    bool open_ = false;
};

}  // namespace quillet::edb
