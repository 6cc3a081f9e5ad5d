// Filling the main window's record list from the store.
//
// Loads may overlap (the worker load at login, "刷新", a reload after a change, a
// query). Each load takes a new generation number when it starts; the rows are put into
// the list on the window thread, and only by the newest load, so rows of two loads never
// mix and a stale load never overwrites a newer one.
#pragma once

#include <vector>

#include "app/app_state.h"
#include "app/record_store.h"

namespace quillet::app {

// Reads the store on a worker thread and fills the list on the window thread. Returns
// at once.
void start_list_load(AppState& state);
// Reads the store and fills the list now; call on the window thread. Very long lists
// finish filling in posted steps so that the window stays responsive.
void load_list(AppState& state);
// Replaces the list's rows with `records` (window thread), as a newer load.
void show_records(ui::WindowLayer& windows, std::vector<Record> records);
// Waits until every worker load has finished reading the store. Call before the window
// layer goes away.
void wait_for_list_loads();

}  // namespace quillet::app
