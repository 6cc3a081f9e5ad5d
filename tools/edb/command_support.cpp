#include "tools/edb/command_support.h"

#include <cstdio>

#include "db/database.h"
#include "db/result_code.h"
#include "platform/text_codec.h"

namespace quillet::edb {

int report_engine_failure(std::int32_t code) {
    std::fprintf(stderr, "edb: error %d: %s\n", static_cast<int>(code),
                 platform::gbk_to_utf8(db::message_for_code(code)).c_str());
    return kExitFailure;
}

int report_last_engine_failure() { return report_engine_failure(db::last_database_error()); }

int report_usage_error(const std::string& message_utf8) {
    std::fprintf(stderr, "edb: %s\n(see \"edb help\")\n", message_utf8.c_str());
    return kExitUsage;
}

std::string engine_path(const std::string& path_utf8) { return platform::utf8_to_gbk(path_utf8); }

OpenedDatabase::OpenedDatabase(const std::string& path_utf8, const Arguments& arguments, bool read_only) {
    db::OpenOptions options;
    options.read_only = read_only;
    if (arguments.password) {
        options.ask_password = *arguments.password == "?";
        if (!options.ask_password) options.password = platform::utf8_to_gbk(*arguments.password);
    }
    open_ = db::open_database(engine_path(path_utf8), options);
}

OpenedDatabase::~OpenedDatabase() {
    if (open_) db::close_database();
}

}  // namespace quillet::edb
