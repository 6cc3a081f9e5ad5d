// How fast the record list fills, on the real window layer with a real store:
//   - from opening the main window after login (the created event starts the worker
//     load) until the last row is in the list and painted,
//   - from "刷新" until the same,
//   - and, for the largest store, the longest the window thread was kept from its
//     events while the list filled.
//
// usage: list_load_bench [record counts...]   (default: 10000 100000)
// Without a DISPLAY the offscreen platform is used.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_list.h"
#include "app/text_cipher.h"
#include "db/database.h"
#include "platform/clock.h"
#include "platform/program_dir.h"
#include "tests/support/scripted_user.h"
#include "ui/forms.h"
#include "ui/qt_window_layer.h"

namespace forms = quillet::ui::forms;

namespace {

using namespace quillet;

constexpr char kPassword[] = "bench";

// Millisecond ticks: enough for figures measured in tens to hundreds of milliseconds.
using TimePoint = std::uint32_t;
TimePoint now() { return platform::clock().tick_count_ms(); }
double ms_since(TimePoint start) { return static_cast<double>(now() - start); }

bool create_store(int records) {
    const std::string file = platform::program_file("data.edb");
    if (!db::create_database(file, {{"ID", db::FieldType::kInt, 0},
                                    {"平台", db::FieldType::kText, 255},
                                    {"账号", db::FieldType::kText, 255},
                                    {"密码", db::FieldType::kText, 255},
                                    {"网址", db::FieldType::kText, 255},
                                    {"备注", db::FieldType::kText, 255}})) {
        return false;
    }
    if (!db::open_database(file) || !db::set_access_password(kPassword)) return false;
    for (int i = 1; i <= records; ++i) {
        const std::string n = std::to_string(i);
        if (!db::append_record({db::Value(i), db::Value("平台" + n), db::Value("user" + n + "@example.com"),
                                db::Value(app::encipher("Pw!" + n + "xyz", app::kCipherKey)),
                                db::Value("https://site" + n + ".example.com/login"), db::Value("备注 " + n)})) {
            return false;
        }
    }
    db::close_database(file);
    return true;
}

struct Fill {
    double total_ms = 0;
    double longest_event_turn_ms = 0;
};

// Gives the last record a new platform, so that a reload can be told from the rows it replaces.
bool mark_last_record(int records, const std::string& platform) {
    const std::string file = platform::program_file("data.edb");
    db::OpenOptions options;
    options.password = kPassword;
    if (!db::open_database(file, options)) return false;
    const bool marked = db::skip_records(records - 1) && db::modify_current_record({std::nullopt, db::Value(platform)});
    db::close_database(file);
    return marked;
}

// Turns the event loop until the list's last row shows `platform`, then once more so that
// it is painted.
Fill wait_for_rows(ui::WindowLayer& windows, int rows, const std::string& platform, TimePoint start) {
    Fill fill;
    while (windows.list_row_count(forms::main::window, forms::main::list) != rows ||
           windows.list_cell(forms::main::window, forms::main::list, rows - 1, app::kPlatformColumn) != platform) {
        const TimePoint turn = now();
        windows.process_events();
        fill.longest_event_turn_ms = std::max(fill.longest_event_turn_ms, ms_since(turn));
    }
    windows.process_events();
    fill.total_ms = ms_since(start);
    return fill;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {10000, 100000};

    const std::filesystem::path dir =
        std::filesystem::path(std::filesystem::exists("/dev/shm") ? "/dev/shm"
                                                                  : std::filesystem::temp_directory_path()) /
        "quillet_list_load_bench";
    ui::QtWindowLayer windows;
    ui::ScriptedUser user(windows);
    app::AppState state(windows);
    app::bind_record_commands(state);

    for (int count : counts) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        platform::set_program_directory_for_testing(dir.string());
        if (!create_store(count)) {
            std::fprintf(stderr, "could not create a store of %d records (engine code %d)\n", count,
                         db::last_database_error());
            return 1;
        }
        state.session_password = platform::SecretText(kPassword);

        TimePoint start = now();
        const std::size_t read = app::list_records(kPassword).size();
        const double read_ms = ms_since(start);

        start = now();
        windows.load_window(forms::main::window);
        const Fill login = wait_for_rows(windows, count, "平台" + std::to_string(count), start);

        if (read != static_cast<std::size_t>(count) || !mark_last_record(count, "refreshed")) {
            std::fprintf(stderr, "the store of %d records did not read back\n", count);
            return 1;
        }
        start = now();
        user.choose_menu_item(forms::main::window, forms::main::menu::refresh);
        const Fill refresh = wait_for_rows(windows, count, "refreshed", start);

        std::printf(
            "%7d records: store read %6.0f ms, login -> last row shown %6.0f ms, "
            "refresh -> last row shown %6.0f ms; longest event-loop turn while filling %4.0f ms after login, "
            "%4.0f ms after refresh\n",
            count, read_ms, login.total_ms, refresh.total_ms, login.longest_event_turn_ms,
            refresh.longest_event_turn_ms);
        std::fflush(stdout);
        app::wait_for_list_loads();
        windows.destroy_window(forms::main::window);
        windows.process_events();
    }
    std::filesystem::remove_all(dir);
    return 0;
}
