#include "app/list_load.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "app/record_list.h"
#include "platform/secret_text.h"
#include "ui/forms.h"

namespace quillet::app {
namespace forms = quillet::ui::forms;

namespace {

// Rows appended per window-thread step: small enough that a very long list leaves the
// window time for its events between steps.
constexpr std::size_t kRowsPerStep = 2000;

using Rows = std::vector<std::vector<std::string>>;

// The list's rows built off the window thread, cut into steps, with the stored cipher
// text of each row for the hidden cell data of the password column.
struct PreparedRows {
    std::vector<Rows> steps;
    std::vector<std::string> ciphers;
};

std::shared_ptr<const PreparedRows> prepare_rows(std::vector<Record> records) {
    auto prepared = std::make_shared<PreparedRows>();
    prepared->ciphers.reserve(records.size());
    for (std::size_t first = 0; first < records.size(); first += kRowsPerStep) {
        const std::size_t end = std::min(records.size(), first + kRowsPerStep);
        Rows rows;
        rows.reserve(end - first);
        for (std::size_t i = first; i < end; ++i) {
            Record& record = records[i];
            prepared->ciphers.push_back(record.password_cipher);
            rows.push_back({std::to_string(record.id), std::move(record.platform), std::move(record.account),
                            std::move(record.password_cipher), std::move(record.address), std::move(record.remark)});
        }
        prepared->steps.push_back(std::move(rows));
    }
    return prepared;
}

// The generation of the newest load; only that load may touch the list's rows.
std::atomic<std::uint64_t> newest_generation{0};

// Counts the worker loads still reading, so that the program can wait for them before
// its window layer goes away. Guarded by mutex.
struct RunningWorkers {
    std::mutex mutex;
    std::condition_variable done;
    int count = 0;
};

RunningWorkers& running_workers() {
    static RunningWorkers workers;
    return workers;
}

// Runs on the window thread. Step 0 clears the list; each later step is posted, so the
// window handles its events in between, and each step first checks that no newer load
// has started since (a newer load clears the list itself).
void fill_step(ui::WindowLayer& windows, std::shared_ptr<const PreparedRows> prepared, std::size_t step,
               std::uint64_t generation) {
    if (generation != newest_generation.load()) return;
    if (step == 0) windows.list_clear(forms::main::window, forms::main::list);
    if (step >= prepared->steps.size()) return;
    const int first_row = windows.list_row_count(forms::main::window, forms::main::list);
    const Rows& rows = prepared->steps[step];
    windows.list_append_rows(forms::main::window, forms::main::list, rows);
    const std::size_t first_record = step * kRowsPerStep;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        windows.list_set_cell_data(forms::main::window, forms::main::list, first_row + static_cast<int>(i),
                                   kPasswordColumn, prepared->ciphers[first_record + i]);
    }
    if (step + 1 < prepared->steps.size()) {
        windows.post([&windows, prepared, step, generation] { fill_step(windows, prepared, step + 1, generation); });
    }
}

}  // namespace

void start_list_load(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    const std::uint64_t generation = ++newest_generation;
    {
        std::lock_guard lock(running_workers().mutex);
        ++running_workers().count;
    }
    // The worker's copy of the password wipes itself when the thread ends.
    std::thread([&windows, password = state.session_password, generation] {
        auto prepared = prepare_rows(list_records(password.text()));
        windows.post([&windows, prepared, generation] { fill_step(windows, prepared, 0, generation); });
        RunningWorkers& workers = running_workers();
        std::lock_guard lock(workers.mutex);
        --workers.count;
        workers.done.notify_all();
    }).detach();
}

void load_list(AppState& state) {
    const std::uint64_t generation = ++newest_generation;
    fill_step(state.windows, prepare_rows(list_records(state.session_password.text())), 0, generation);
}

void show_records(ui::WindowLayer& windows, std::vector<Record> records) {
    const std::uint64_t generation = ++newest_generation;
    fill_step(windows, prepare_rows(std::move(records)), 0, generation);
}

void wait_for_list_loads() {
    RunningWorkers& workers = running_workers();
    std::unique_lock lock(workers.mutex);
    workers.done.wait(lock, [&workers] { return workers.count == 0; });
}

}  // namespace quillet::app
