// Guesses per second: against data.edb through the engine's open (the store's own format,
// which other machines and older versions read, so it cannot change), and against the
// Argon2id derivation that guards data.ini's vault and ftp.ini's password.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/db_bench/stopwatch.h"
#include "db/database.h"
#include "platform/sealing.h"

namespace {

using quillet::bench::Stopwatch;

std::vector<quillet::db::FieldSpec> fields() {
    using quillet::db::FieldType;
    return {{"ID", FieldType::kInt, 0}, {"平台", FieldType::kText, 255}, {"账号", FieldType::kText, 255},
            {"密码", FieldType::kText, 255}, {"网址", FieldType::kText, 255}, {"备注", FieldType::kText, 255}};
}

double store_guesses_per_second(const std::string& store, double seconds) {
    quillet::db::OpenOptions options;
    long guesses = 0;
    Stopwatch watch;
    while (watch.seconds() < seconds) {
        options.password = "guess" + std::to_string(guesses++);
        if (quillet::db::open_database(store, options)) std::abort();  // never the password
    }
    return static_cast<double>(guesses) / watch.seconds();
}

double median_derivation_seconds(int runs) {
    std::vector<double> times;
    const quillet::platform::KeyRecipe recipe = quillet::platform::new_key_recipe();
    for (int i = 0; i < runs; ++i) {
        quillet::platform::LockedBytes key;
        Stopwatch watch;
        if (!quillet::platform::derive_key("guess" + std::to_string(i), recipe, &key)) std::abort();
        times.push_back(watch.seconds());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quillet_secret_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string store = (dir / "data.edb").string();
    if (!quillet::db::create_database(store, fields()) || !quillet::db::open_database(store) ||
        !quillet::db::set_access_password("the real password")) {
        std::fprintf(stderr, "could not make a store in %s\n", dir.c_str());
        return 1;
    }
    quillet::db::close_database(store);

    const double store_rate = store_guesses_per_second(store, seconds);
    const double derivation = median_derivation_seconds(7);
    std::filesystem::remove_all(dir);

    std::printf("data.edb, the engine's open with a wrong password: %.0f guesses/s\n", store_rate);
    std::printf("Argon2id at the default cost (%u passes, %u MiB), median of 7: %.3f s, %.2f guesses/s\n",
                quillet::platform::kDefaultPasses, quillet::platform::kDefaultMemoryKib / 1024, derivation,
                1.0 / derivation);
    std::printf("ratio: a guess against data.ini or ftp.ini costs %.0f times one against data.edb\n",
                derivation * store_rate);
    return 0;
}
