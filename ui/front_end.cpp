#include "ui/front_end.h"

#include <condition_variable>
#include <mutex>

#include "ui/forms.h"

namespace quillet::ui {

FrontEnd::FrontEnd(std::unique_ptr<Toolkit> toolkit)
    : toolkit_(std::move(toolkit)), in_use_([this](std::function<void()> task) { post(std::move(task)); }) {}

FrontEnd::~FrontEnd() {
    for (auto& [name, window] : windows_) window.live->shut_down();
    windows_.clear();
    in_use_.free_all();
}

ToolkitWindow* FrontEnd::find(std::string_view window, std::string_view control) const {
    return forms::check_control(window, control) ? open_window(window) : nullptr;
}

ToolkitWindow* FrontEnd::find_menu_item(std::string_view window, std::string_view item) const {
    return forms::check_menu_item(window, item) ? open_window(window) : nullptr;
}

ToolkitWindow* FrontEnd::open_window(std::string_view window) const {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.live.get();
}

void FrontEnd::bind(std::string_view window, std::string_view control, Event event, Handler handler) {
    bindings_.bind(window, control, event, std::move(handler));
}

void FrontEnd::raise(std::string_view window, std::string_view control, Event event, int a, int b) {
    run_on_window_thread([&] {
        InUse::Scope in_use(in_use_);
        for (const Handler& handler : bindings_.handlers(window, control, event)) handler(a, b);
    });
}

void FrontEnd::load_window(std::string_view window) {
    if (ToolkitWindow* open = find(window, "")) {
        open->bring_to_front();
        return;
    }
    const FormDef* form = find_form(window);
    if (!form) return;
    const std::string name(window);
    WindowEvents events;
    events.raise = [this, name](std::string_view control, Event event, int a, int b) {
        raise(name, control, event, a, b);
    };
    events.close_box = [this, name] { destroy_window(name); };
    events.in_use = &in_use_;
    std::unique_ptr<ToolkitWindow> created = toolkit_->create_window(*form, std::move(events));
    if (!created) return;
    ToolkitWindow* live = created.get();
    windows_.emplace(name, OpenWindow{std::move(created)});
    raise(name, "", Event::kCreated);
    // A created handler may have closed the window again.
    if (find(name, "") == live) live->show_window();
}

void FrontEnd::destroy_window(std::string_view window) {
    auto it = windows_.find(window);
    if (it == windows_.end() || it->second.destroying) return;
    it->second.destroying = true;  // a destroyed handler may ask again
    raise(window, "", Event::kDestroyed);
    it = windows_.find(window);
    if (it == windows_.end()) return;
    std::unique_ptr<ToolkitWindow> gone = std::move(it->second.live);
    windows_.erase(it);
    gone->shut_down();
    in_use_.keep_until_unused(std::move(gone));
    // Checked once the current handler has finished, so that it may load the next window.
    post([this] {
        if (running_ && windows_.empty()) toolkit_->quit();
    });
}

bool FrontEnd::is_open(std::string_view window) const { return find(window, "") != nullptr; }

std::string FrontEnd::text(std::string_view window, std::string_view control) const {
    const ToolkitWindow* w = find(window, control);
    return w ? w->text(control) : std::string();
}

bool FrontEnd::text_fits_gbk(std::string_view window, std::string_view control) const {
    const ToolkitWindow* w = find(window, control);
    return !w || w->text_fits_gbk(control);
}

void FrontEnd::set_text(std::string_view window, std::string_view control, std::string_view text) {
    if (ToolkitWindow* w = find(window, control)) w->set_text(control, text);
}

void FrontEnd::set_enabled(std::string_view window, std::string_view control, bool enabled) {
    if (ToolkitWindow* w = find(window, control)) w->set_enabled(control, enabled);
}

bool FrontEnd::is_enabled(std::string_view window, std::string_view control) const {
    const ToolkitWindow* w = find(window, control);
    return w && w->is_enabled(control);
}

void FrontEnd::set_visible(std::string_view window, std::string_view control, bool visible) {
    if (ToolkitWindow* w = find(window, control)) w->set_visible(control, visible);
}

bool FrontEnd::is_visible(std::string_view window, std::string_view control) const {
    const ToolkitWindow* w = find(window, control);
    return w && w->is_visible(control);
}

bool FrontEnd::is_checked(std::string_view window, std::string_view control) const {
    const ToolkitWindow* w = find(window, control);
    return w && w->is_checked(control);
}

void FrontEnd::set_checked(std::string_view window, std::string_view control, bool checked) {
    if (ToolkitWindow* w = find(window, control)) w->set_checked(control, checked);
}

void FrontEnd::set_timer_interval(std::string_view window, std::string_view control, int milliseconds) {
    if (ToolkitWindow* w = find(window, control)) w->set_timer_interval(control, milliseconds);
}

// List operations: each one runs whole on the window thread, whichever thread calls.

void FrontEnd::list_clear(std::string_view window, std::string_view control) {
    run_on_window_thread([&] {
        if (ToolkitWindow* w = find(window, control)) w->list_clear(control);
    });
}

int FrontEnd::list_append_row(std::string_view window, std::string_view control) {
    int row = -1;
    run_on_window_thread([&] {
        if (ToolkitWindow* w = find(window, control)) row = w->list_append_row(control);
    });
    return row;
}

void FrontEnd::list_append_rows(std::string_view window, std::string_view control,
                                const std::vector<std::vector<std::string>>& rows) {
    run_on_window_thread([&] {
        if (ToolkitWindow* w = find(window, control)) w->list_append_rows(control, rows);
    });
}

void FrontEnd::list_set_cell(std::string_view window, std::string_view control, int row, int column,
                             std::string_view text) {
    run_on_window_thread([&] {
        if (ToolkitWindow* w = find(window, control)) w->list_set_cell(control, row, column, text);
    });
}

std::string FrontEnd::list_cell(std::string_view window, std::string_view control, int row, int column) const {
    std::string text;
    on_window_thread_const([&] {
        if (const ToolkitWindow* w = find(window, control)) text = w->list_cell(control, row, column);
    });
    return text;
}

void FrontEnd::list_set_cell_data(std::string_view window, std::string_view control, int row, int column,
                                  std::string_view data) {
    run_on_window_thread([&] {
        if (ToolkitWindow* w = find(window, control)) w->list_set_cell_data(control, row, column, data);
    });
}

std::string FrontEnd::list_cell_data(std::string_view window, std::string_view control, int row, int column) const {
    std::string data;
    on_window_thread_const([&] {
        if (const ToolkitWindow* w = find(window, control)) data = w->list_cell_data(control, row, column);
    });
    return data;
}

int FrontEnd::list_row_count(std::string_view window, std::string_view control) const {
    int count = 0;
    on_window_thread_const([&] {
        if (const ToolkitWindow* w = find(window, control)) count = w->list_row_count(control);
    });
    return count;
}

int FrontEnd::list_selected_row(std::string_view window, std::string_view control) const {
    int row = -1;
    on_window_thread_const([&] {
        if (const ToolkitWindow* w = find(window, control)) row = w->list_selected_row(control);
    });
    return row;
}

void FrontEnd::list_select_row(std::string_view window, std::string_view control, int row) {
    run_on_window_thread([&] {
        if (ToolkitWindow* w = find(window, control)) w->list_select_row(control, row);
    });
}

void FrontEnd::set_menu_item_enabled(std::string_view window, std::string_view item, bool enabled) {
    if (ToolkitWindow* w = find_menu_item(window, item)) w->set_menu_item_enabled(item, enabled);
}

bool FrontEnd::is_menu_item_enabled(std::string_view window, std::string_view item) const {
    const ToolkitWindow* w = find_menu_item(window, item);
    return w && w->is_menu_item_enabled(item);
}

void FrontEnd::popup_menu(std::string_view window, std::string_view menu, Point screen) {
    ToolkitWindow* w = find_menu_item(window, menu);
    if (!w || !opens_sub_menu(w->form(), menu)) return;
    if (DialogScript* script = dialog_script()) return record_popup(*script, *w, menu);
    InUse::Scope in_use(in_use_);  // the menu's loop may destroy the window; `w` stays valid
    w->popup_menu(menu, screen);
}

// Tests look at what the menu would show instead of waiting for a person.
void FrontEnd::record_popup(DialogScript& script, const ToolkitWindow& window, std::string_view menu) const {
    const FormDef& form = window.form();
    std::map<std::string, bool, std::less<>> items;
    const auto index = static_cast<std::size_t>(menu_item_index(form, menu));
    for (std::size_t i = index + 1; i < form.menu.size() && form.menu[i].level > form.menu[index].level; ++i) {
        items[std::string(form.menu[i].caption)] = menu_item_reachable(*this, form.name, form.menu[i].caption);
    }
    script.record_popup(std::move(items));
}

// Dialogs: scripted ones answer on the calling thread; real ones are shown on the window
// thread, the calling thread waiting until they are closed.

void FrontEnd::in_dialog(const std::function<void()>& show) {
    run_on_window_thread([&] {
        InUse::Scope in_use(in_use_);
        show();
    });
}

void FrontEnd::message_box(std::string_view text) {
    if (DialogScript* script = dialog_script()) return script->record(ShownDialog::Kind::kMessage, text);
    in_dialog([&] { toolkit_->show_message(text); });
}

bool FrontEnd::question_box(std::string_view text) {
    if (DialogScript* script = dialog_script()) return script->next_question(text);
    bool yes = false;
    in_dialog([&] { yes = toolkit_->ask_question(text); });
    return yes;
}

bool FrontEnd::input_box(std::string_view caption, std::string_view prompt, std::string_view initial,
                         std::string* entered) {
    if (DialogScript* script = dialog_script()) return script->next_input(caption, entered);
    bool confirmed = false;
    in_dialog([&] { confirmed = toolkit_->ask_input(caption, prompt, initial, entered); });
    return confirmed;
}

bool FrontEnd::password_prompt(int tries_left, std::string* password) {
    if (DialogScript* script = dialog_script()) return script->next_password(tries_left, password);
    bool confirmed = false;
    in_dialog([&] { confirmed = toolkit_->ask_password(tries_left, password); });
    return confirmed;
}

// Each cancelled menu or dialog ends its nested loop once the window thread gets back to it.
void FrontEnd::close_dialogs() {
    run_on_window_thread([this] { toolkit_->close_dialogs(); });
}

// Every balloon of this program is shown at the mouse, not at its control.
void FrontEnd::balloon_tip(std::string_view, std::string_view, std::string_view text, Point screen) {
    if (DialogScript* script = dialog_script()) return script->record(ShownDialog::Kind::kBalloon, text);
    run_on_window_thread([&] { toolkit_->show_balloon(text, screen); });
}

Point FrontEnd::cursor_position() const { return toolkit_->cursor_position(); }

void FrontEnd::post(std::function<void()> task) { toolkit_->post(std::move(task)); }

void FrontEnd::run_on_window_thread(std::function<void()> task) {
    if (on_window_thread()) {
        task();
        return;
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    post([&] {
        task();
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_one();
    });
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done; });
}

void FrontEnd::on_window_thread_const(const std::function<void()>& task) const {
    const_cast<FrontEnd*>(this)->run_on_window_thread(task);
}

bool FrontEnd::on_window_thread() const { return toolkit_->on_window_thread(); }

void FrontEnd::wait_processing_events(int milliseconds) {
    InUse::Scope in_use(in_use_);
    toolkit_->wait_processing_events(milliseconds);
}

void FrontEnd::process_events() { toolkit_->process_events(); }

int FrontEnd::run() {
    if (windows_.empty()) return 0;
    running_ = true;
    const int code = toolkit_->run_loop();
    running_ = false;
    return code;
}

bool menu_item_reachable(const WindowLayer& layer, std::string_view window, std::string_view item) {
    const FormDef* form = find_form(window);
    const int index = form ? menu_item_index(*form, item) : -1;
    if (index < 0 || !layer.is_menu_item_enabled(window, item)) return false;
    // Up through the ancestors; the top-level item is the pop-up itself.
    int level = form->menu[static_cast<std::size_t>(index)].level;
    for (int i = index - 1; i >= 0 && level > 1; --i) {
        const MenuItemDef& above = form->menu[static_cast<std::size_t>(i)];
        if (above.level >= level) continue;
        level = above.level;
        if (!layer.is_menu_item_enabled(window, above.caption)) return false;
    }
    return true;
}

bool opens_sub_menu(const FormDef& form, std::string_view item) {
    const int index = menu_item_index(form, item);
    if (index < 0) return false;
    const auto next = static_cast<std::size_t>(index) + 1;
    return next < form.menu.size() && form.menu[next].level > form.menu[next - 1].level;
}

}  // namespace quillet::ui
