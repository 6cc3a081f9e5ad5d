#include "ui/qt_window_layer.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QMenu>
#include <QThread>
#include <QTimer>

#include "ui/qt/control_text.h"
#include "ui/qt/dialogs.h"
#include "ui/qt/layer_impl.h"
#include "ui/qt/list_control.h"
#include "ui/qt/password_prompt.h"

namespace quillet::ui {

QtWindowLayer::QtWindowLayer() : impl_(std::make_unique<Impl>()) {}

QtWindowLayer::~QtWindowLayer() = default;

void QtWindowLayer::bind(std::string_view window, std::string_view control, Event event, Handler handler) {
    impl_->bindings.bind(window, control, event, std::move(handler));
}

void QtWindowLayer::raise(std::string_view window, std::string_view control, Event event, int a, int b) {
    impl_->on_window_thread([&] {
        for (const Handler& handler : impl_->bindings.handlers(window, control, event)) handler(a, b);
    });
}

void QtWindowLayer::load_window(std::string_view window) {
    if (FormWindow* open = impl_->window(window)) {
        open->raise();
        open->activateWindow();
        return;
    }
    const FormDef* form = find_form(window);
    if (!form) return;
    const std::string name(window);
    auto* created = new FormWindow(
        *form, [this, name](std::string_view control, Event event, int a, int b) { raise(name, control, event, a, b); },
        [this, name] { destroy_window(name); });
    impl_->windows.emplace(name, created);
    raise(name, "", Event::kCreated);
    // A created handler may have closed the window again.
    if (impl_->window(name) == created) created->show();
}

void QtWindowLayer::destroy_window(std::string_view window) {
    FormWindow* doomed = impl_->window(window);
    if (!doomed || doomed->property("quillet_destroying").toBool()) return;
    doomed->setProperty("quillet_destroying", true);  // a destroyed handler may ask again
    raise(window, "", Event::kDestroyed);
    doomed->shut_down();
    impl_->windows.erase(impl_->windows.find(window));
    doomed->hide();
    impl_->free_later(doomed);
    impl_->quit_when_no_window_is_left();
}

bool QtWindowLayer::is_open(std::string_view window) const { return impl_->window(window) != nullptr; }

std::string QtWindowLayer::text(std::string_view window, std::string_view control) const {
    QWidget* widget = impl_->widget(window, control);
    return widget ? control_text(widget) : std::string();
}

bool QtWindowLayer::text_fits_gbk(std::string_view window, std::string_view control) const {
    QWidget* widget = impl_->widget(window, control);
    return !widget || control_text_fits_gbk(widget);
}

void QtWindowLayer::set_text(std::string_view window, std::string_view control, std::string_view text) {
    if (QWidget* widget = impl_->widget(window, control)) set_control_text(widget, text);
}

void QtWindowLayer::set_enabled(std::string_view window, std::string_view control, bool enabled) {
    if (QWidget* widget = impl_->widget(window, control)) widget->setEnabled(enabled);
}

bool QtWindowLayer::is_enabled(std::string_view window, std::string_view control) const {
    QWidget* widget = impl_->widget(window, control);
    return widget && widget->isEnabled();
}

void QtWindowLayer::set_visible(std::string_view window, std::string_view control, bool visible) {
    if (QWidget* widget = impl_->widget(window, control)) widget->setVisible(visible);
}

// The visible flag itself: a control of a window not yet shown still counts as visible.
bool QtWindowLayer::is_visible(std::string_view window, std::string_view control) const {
    QWidget* widget = impl_->widget(window, control);
    return widget && !widget->isHidden();
}

bool QtWindowLayer::is_checked(std::string_view window, std::string_view control) const {
    auto* button = qobject_cast<QAbstractButton*>(impl_->widget(window, control));
    return button && button->isChecked();
}

void QtWindowLayer::set_checked(std::string_view window, std::string_view control, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(impl_->widget(window, control))) button->setChecked(checked);
}

void QtWindowLayer::set_timer_interval(std::string_view window, std::string_view control, int milliseconds) {
    FormWindow* w = impl_->window(window);
    QTimer* timer = w ? w->timer(control) : nullptr;
    if (!timer) return;
    if (milliseconds > 0) {
        timer->start(milliseconds);
    } else {
        timer->stop();
    }
}

// List operations: each one runs whole on the window thread, whichever thread calls.

void QtWindowLayer::list_clear(std::string_view window, std::string_view control) {
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) list->clear();
    });
}

int QtWindowLayer::list_append_row(std::string_view window, std::string_view control) {
    int row = -1;
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) row = list->append_row();
    });
    return row;
}

void QtWindowLayer::list_append_rows(std::string_view window, std::string_view control,
                                     const std::vector<std::vector<std::string>>& rows) {
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) list->append_rows(rows);
    });
}

void QtWindowLayer::list_set_cell(std::string_view window, std::string_view control, int row, int column,
                                  std::string_view text) {
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) list->set_cell(row, column, text);
    });
}

std::string QtWindowLayer::list_cell(std::string_view window, std::string_view control, int row, int column) const {
    std::string text;
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) text = list->cell(row, column);
    });
    return text;
}

void QtWindowLayer::list_set_cell_data(std::string_view window, std::string_view control, int row, int column,
                                       std::string_view data) {
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) list->set_cell_data(row, column, data);
    });
}

std::string QtWindowLayer::list_cell_data(std::string_view window, std::string_view control, int row,
                                          int column) const {
    std::string data;
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) data = list->cell_data(row, column);
    });
    return data;
}

int QtWindowLayer::list_row_count(std::string_view window, std::string_view control) const {
    int count = 0;
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) count = list->topLevelItemCount();
    });
    return count;
}

int QtWindowLayer::list_selected_row(std::string_view window, std::string_view control) const {
    int row = -1;
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) row = list->selected_row();
    });
    return row;
}

void QtWindowLayer::list_select_row(std::string_view window, std::string_view control, int row) {
    impl_->on_window_thread([&] {
        if (ListControl* list = impl_->list(window, control)) list->select_row(row);
    });
}

void QtWindowLayer::set_menu_item_enabled(std::string_view window, std::string_view item, bool enabled) {
    FormWindow* w = impl_->window(window);
    if (QAction* action = w ? w->menu_action(item) : nullptr) action->setEnabled(enabled);
}

bool QtWindowLayer::is_menu_item_enabled(std::string_view window, std::string_view item) const {
    FormWindow* w = impl_->window(window);
    QAction* action = w ? w->menu_action(item) : nullptr;
    return action && action->isEnabled();
}

void QtWindowLayer::popup_menu(std::string_view window, std::string_view menu, Point screen) {
    FormWindow* w = impl_->window(window);
    QMenu* popup = w ? w->submenu(menu) : nullptr;
    if (!popup) return;
    if (impl_->script.scripted()) {
        // Tests look at what the menu would show instead of waiting for a person.
        impl_->last_popup.clear();
        int index = menu_item_index(w->form(), menu);
        const int level = w->form().menu[index].level;
        for (std::size_t i = index + 1; i < w->form().menu.size() && w->form().menu[i].level > level; ++i) {
            std::string caption(w->form().menu[i].caption);
            impl_->last_popup[caption] = impl_->menu_item_reachable(*w, caption);
        }
        return;
    }
    Impl::NestedLoop nested(*impl_);
    popup->exec(QPoint(screen.x, screen.y));
}

// Dialogs: scripted ones answer on the calling thread; real ones are shown on the window
// thread, the calling thread waiting until they are closed.

void QtWindowLayer::message_box(std::string_view text) {
    if (impl_->script.scripted()) return impl_->script.record(ShownDialog::Kind::kMessage, text);
    impl_->on_window_thread([&] {
        Impl::NestedLoop nested(*impl_);
        show_message(text);
    });
}

bool QtWindowLayer::question_box(std::string_view text) {
    if (impl_->script.scripted()) {
        impl_->script.record(ShownDialog::Kind::kQuestion, text);
        return impl_->script.next_question();
    }
    bool yes = false;
    impl_->on_window_thread([&] {
        Impl::NestedLoop nested(*impl_);
        yes = ask_question(text);
    });
    return yes;
}

bool QtWindowLayer::input_box(std::string_view caption, std::string_view prompt, std::string_view initial,
                              std::string* entered) {
    if (impl_->script.scripted()) {
        impl_->script.record(ShownDialog::Kind::kInput, caption);
        return impl_->script.next_input(entered);
    }
    bool confirmed = false;
    impl_->on_window_thread([&] {
        Impl::NestedLoop nested(*impl_);
        confirmed = ask_input(caption, prompt, initial, entered);
    });
    return confirmed;
}

bool QtWindowLayer::password_prompt(int tries_left, std::string* password) {
    if (impl_->script.scripted()) {
        impl_->script.record(ShownDialog::Kind::kPassword, std::to_string(tries_left));
        return impl_->script.next_password(password);
    }
    bool confirmed = false;
    impl_->on_window_thread([&] {
        Impl::NestedLoop nested(*impl_);
        confirmed = ask_password(tries_left, password);
    });
    return confirmed;
}

// Innermost first. Each ends its nested loop once the window thread gets back to it.
void QtWindowLayer::close_dialogs() {
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        if (QApplication::activePopupWidget() == popup) break;  // it refused: do not spin
    }
    while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        dialog->reject();
        if (QApplication::activeModalWidget() == dialog) break;
    }
}

// Every balloon of this program is shown at the mouse, not at its control.
void QtWindowLayer::balloon_tip(std::string_view, std::string_view, std::string_view text, Point screen) {
    if (impl_->script.scripted()) return impl_->script.record(ShownDialog::Kind::kBalloon, text);
    impl_->on_window_thread([&] { show_balloon(text, screen); });
}

Point QtWindowLayer::cursor_position() const {
    QPoint pos = QCursor::pos();
    return Point{pos.x(), pos.y()};
}

void QtWindowLayer::post(std::function<void()> task) {
    QMetaObject::invokeMethod(&impl_->dispatcher, std::move(task), Qt::QueuedConnection);
}

void QtWindowLayer::run_on_window_thread(std::function<void()> task) { impl_->on_window_thread(task); }

bool QtWindowLayer::on_window_thread() const { return QThread::currentThread() == impl_->dispatcher.thread(); }

void QtWindowLayer::wait_processing_events(int milliseconds) {
    Impl::NestedLoop nested(*impl_);
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void QtWindowLayer::process_events() { QCoreApplication::processEvents(); }

int QtWindowLayer::run() {
    if (impl_->windows.empty()) return 0;
    impl_->running = true;
    int code = QCoreApplication::exec();
    impl_->running = false;
    return code;
}

}  // namespace quillet::ui
