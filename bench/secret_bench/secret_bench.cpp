// Guesses per second: against data.edb through the engine's open (the store's own format,
// which other machines and older versions read, so it cannot change), and against the
// Argon2id derivation that guards data.ini's vault and ftp.ini's password; and what sealing
// and opening a store for a WebDAV server (data.edb.qlt) add to each transfer.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/store_envelope.h"
#include "bench/db_bench/stopwatch.h"
#include "db/database.h"
#include "platform/sealing.h"

namespace {

using quillet::bench::Stopwatch;

std::vector<quillet::db::FieldSpec> fields() {
    using quillet::db::FieldType;
    return {{"ID", FieldType::kInt, 0},      {"平台", FieldType::kText, 255}, {"账号", FieldType::kText, 255},
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

// The size of a store of 1,000 records (an ID and five 255-byte texts each). What the bytes
// are does not matter to the cipher, so random bytes stand in for the records.
constexpr std::size_t kTypicalStoreBytes = 1000 * (4 + 5 * 255);

struct EnvelopeTimes {
    double seal = 0;
    double open = 0;
};

EnvelopeTimes median_envelope_seconds(int runs) {
    std::string store(kTypicalStoreBytes, '\0');
    std::mt19937 random(1);
    for (char& byte : store) byte = static_cast<char>(random());
    std::vector<double> seals, opens;
    for (int i = 0; i < runs; ++i) {
        std::string envelope;
        Stopwatch seal_watch;
        if (!quillet::app::seal_store(store, "the real password", i, &envelope).ok()) std::abort();
        seals.push_back(seal_watch.seconds());
        std::uint64_t revision = 0;
        quillet::platform::LockedBytes opened;
        Stopwatch open_watch;
        if (!quillet::app::open_store_envelope(envelope, "the real password", &revision, &opened).ok()) std::abort();
        opens.push_back(open_watch.seconds());
        if (opened.view() != store) std::abort();
    }
    std::sort(seals.begin(), seals.end());
    std::sort(opens.begin(), opens.end());
    return {seals[seals.size() / 2], opens[opens.size() / 2]};
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
    const EnvelopeTimes envelope = median_envelope_seconds(7);
    std::filesystem::remove_all(dir);

    std::printf("data.edb, the engine's open with a wrong password: %.0f guesses/s\n", store_rate);
    std::printf("Argon2id at the default cost (%u passes, %u MiB), median of 7: %.3f s, %.2f guesses/s\n",
                quillet::platform::kDefaultPasses, quillet::platform::kDefaultMemoryKib / 1024, derivation,
                1.0 / derivation);
    std::printf("ratio: a guess against data.ini or ftp.ini costs %.0f times one against data.edb\n",
                derivation * store_rate);
    std::printf("data.edb.qlt for a store of 1,000 records (%zu KiB), median of 7: seal %.3f s, open %.3f s\n",
                kTypicalStoreBytes / 1024, envelope.seal, envelope.open);
    return 0;
}
