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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_list.h"
#include "app/text_cipher.h"
#include "db/database.h"
#include "platform/program_dir.h"
#include "ui/qt_window_layer.h"

namespace {

using namespace quillet;
using Clock = std::chrono::steady_clock;

constexpr char kPassword[] = "bench";

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

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

// Turns the event loop until the list holds `rows` rows, then once more so they are painted.
Fill wait_for_rows(ui::WindowLayer& windows, int rows, Clock::time_point start) {
    Fill fill;
    while (windows.list_row_count(ui::kMainWindow, app::kRecordList) < rows ||
           windows.list_cell(ui::kMainWindow, app::kRecordList, rows - 1, app::kIdColumn) != std::to_string(rows)) {
        const Clock::time_point turn = Clock::now();
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

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "quillet_list_load_bench";
    ui::QtWindowLayer windows;
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
        state.session_password = kPassword;

        Clock::time_point start = Clock::now();
        windows.load_window(ui::kMainWindow);
        const Fill login = wait_for_rows(windows, count, start);

        start = Clock::now();
        windows.choose_menu_item(ui::kMainWindow, "刷新");
        const Fill refresh = wait_for_rows(windows, count, start);

        std::printf("%7d records: login -> last row shown %8.1f ms, refresh -> last row shown %8.1f ms, "
                    "longest event-loop turn while filling %6.1f ms\n",
                    count, login.total_ms, refresh.total_ms,
                    std::max(login.longest_event_turn_ms, refresh.longest_event_turn_ms));
        std::fflush(stdout);
        app::wait_for_list_loads();
        windows.destroy_window(ui::kMainWindow);
        windows.process_events();
    }
    std::filesystem::remove_all(dir);
    return 0;
}
