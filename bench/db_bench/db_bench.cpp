// The engine against SQLite on the credential table. Usage: db_bench [RECORDS] [DIRECTORY]
// (10,000 records by default, in a new directory under $TMPDIR or /var/tmp). Prints each
// pair of timings and the ratio engine ÷ SQLite: below 1 the engine is faster.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/db_bench/workload.h"

namespace {

using quillet::bench::Timings;

std::string fresh_directory(const char* parent) {
    std::string pattern = std::string(parent) + "/db_bench.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("db_bench: mkdtemp");
        std::exit(1);
    }
    return pattern;
}

void print_pair(const char* what, double engine, double sqlite, double unit, const char* unit_name) {
    if (sqlite < 0) {
        std::printf("%-46s engine %10.3f %s\n", what, engine * unit, unit_name);
        return;
    }
    std::printf("%-46s engine %10.3f %s   sqlite %10.3f %s   ratio %5.2f\n", what, engine * unit, unit_name,
                sqlite * unit, unit_name, engine / sqlite);
}

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (records < 100) {
        std::fprintf(stderr, "usage: db_bench [RECORDS >= 100] [DIRECTORY]\n");
        return 2;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string parent = argc > 2 ? argv[2] : (tmp != nullptr ? tmp : "/var/tmp");
    const std::string engine_dir = fresh_directory(parent.c_str());
    const std::string sqlite_dir = fresh_directory(parent.c_str());

    std::printf("%d credential records; engine file scrambled with an access password; "
                "SQLite with default journal and synchronous FULL\n",
                records);
    std::fflush(stdout);
    const Timings engine = quillet::bench::run_engine(engine_dir, records);
    const Timings sqlite = quillet::bench::run_sqlite(sqlite_dir, records);
    if (engine.listed != 2LL * records || sqlite.listed != records) {
        std::fprintf(stderr, "db_bench: listed %lld and %lld records\n", static_cast<long long>(engine.listed),
                     static_cast<long long>(sqlite.listed));
        return 1;
    }
    print_pair("append, one durable command each (total)", engine.append, sqlite.append, 1, "s ");
    print_pair("list all, six read_field by name (total)", engine.list_by_name, sqlite.list_by_name, 1e3, "ms");
    print_pair("list all, read_record (total)", engine.list_by_record, sqlite.list_by_name, 1e3, "ms");
    print_pair("find by ID, condition / WHERE (each)", engine.find, sqlite.find, 1e3, "ms");
    print_pair("delete one and purge / DELETE (each)", engine.delete_one, sqlite.delete_one, 1e3, "ms");
    print_pair("set access password on the whole file", engine.set_password, -1, 1e3, "ms");

    std::system(("rm -rf '" + engine_dir + "' '" + sqlite_dir + "'").c_str());
    return 0;
}
