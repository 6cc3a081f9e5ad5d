// The engine against SQLite on the credential table. Usage: db_bench [RECORDS] [DIRECTORY]
// (10,000 records by default, in new directories under $TMPDIR or /var/tmp). Prints each
// pair of timings and the ratio engine / SQLite: below 1 the engine is faster. The
// reading steps run five times, the two sides taking turns, and the best time of each
// counts, so that other load on the machine disturbs the ratios less.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/db_bench/workload.h"

namespace {

constexpr int kRounds = 5;

std::string fresh_directory(const std::string& parent) {
    std::string pattern = parent + "/db_bench.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("db_bench: mkdtemp");
        std::exit(1);
    }
    return pattern;
}

void print_pair(const char* what, double engine, double sqlite, double unit, const char* unit_name) {
    if (sqlite < 0) {
        std::printf("%-48s engine %9.3f %s\n", what, engine * unit, unit_name);
        return;
    }
    std::printf("%-48s engine %9.3f %s   sqlite %9.3f %s   ratio %6.2f\n", what, engine * unit, unit_name,
                sqlite * unit, unit_name, engine / sqlite);
}

// The best of several runs of `step`.
template <typename Step>
void keep_best(double* best, Step step) {
    const double seconds = step();
    if (*best < 0 || seconds < *best) *best = seconds;
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
    const std::string engine_dir = fresh_directory(parent);
    const std::string sqlite_dir = fresh_directory(parent);
    std::printf(
        "%d credential records; engine file scrambled with an access password; "
        "SQLite with its default journal and synchronous FULL\n",
        records);
    std::fflush(stdout);
    {
        quillet::bench::EngineSide engine(engine_dir, records);
        quillet::bench::SqliteSide sqlite(sqlite_dir, records);
        const double engine_append = engine.append_all();
        const double sqlite_append = sqlite.append_all();
        print_pair("append, one durable command each (total)", engine_append, sqlite_append, 1, "s ");

        double by_name = -1, by_scan = -1, by_record = -1, exclusive = -1, engine_find = -1, find_exclusive = -1;
        double sqlite_list = -1, sqlite_find = -1;
        for (int round = 0; round < kRounds; ++round) {
            keep_best(&by_name, [&] { return engine.list_by_name(); });
            keep_best(&sqlite_list, [&] { return sqlite.list(); });
            keep_best(&by_scan, [&] { return engine.list_by_scan(); });
            keep_best(&by_record, [&] { return engine.list_by_record(); });
            keep_best(&exclusive, [&] { return engine.list_exclusive(); });
            keep_best(&engine_find, [&] { return engine.find(); });
            keep_best(&sqlite_find, [&] { return sqlite.find(); });
            keep_best(&find_exclusive, [&] { return engine.find_exclusive(); });
        }
        print_pair("list all, six read_field by name (total)", by_name, sqlite_list, 1e3, "ms");
        print_pair("list all, scan_records (total)", by_scan, sqlite_list, 1e3, "ms");
        print_pair("list all, read_record (total)", by_record, sqlite_list, 1e3, "ms");
        print_pair("list all, read_record, exclusive open (total)", exclusive, sqlite_list, 1e3, "ms");
        print_pair("find by ID, condition / WHERE (each)", engine_find, sqlite_find, 1e3, "ms");
        print_pair("find by ID, exclusive open (each)", find_exclusive, sqlite_find, 1e3, "ms");
        print_pair("delete one and purge / DELETE (each)", engine.delete_one(), sqlite.delete_one(), 1e3, "ms");
        print_pair("set access password on the whole file", engine.set_password(), -1, 1e3, "ms");
    }
    std::system(("rm -rf '" + engine_dir + "' '" + sqlite_dir + "'").c_str());
    return 0;
}
