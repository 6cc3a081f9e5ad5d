#include "ui/qt/layer_impl.h"

#include <QAction>
#include <QMenu>
#include <QThread>
#include <QTimer>

#include "ui/forms.h"
#include "ui/qt/list_control.h"

namespace quillet::ui {
namespace {

std::unique_ptr<QApplication> make_application() {
    if (QCoreApplication::instance()) return nullptr;
    static int argc = 1;
    static char name[] = "quillet";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

QtWindowLayer::Impl::Impl() : owned_app(make_application()) {
    // The layer decides when the program ends: when its last form window has gone.
    QApplication::setQuitOnLastWindowClosed(false);
}

QtWindowLayer::Impl::~Impl() {
    for (auto& [name, window] : windows) {
        window->shut_down();
        delete window;
    }
    windows.clear();
    for (QPointer<FormWindow>& window : doomed) delete window.data();
    doomed.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

FormWindow* QtWindowLayer::Impl::window(std::string_view name) const {
    auto it = windows.find(name);
    return it == windows.end() ? nullptr : it->second;
}

QWidget* QtWindowLayer::Impl::widget(std::string_view window_name, std::string_view control) const {
    if (!forms::check_control(window_name, control)) return nullptr;
    FormWindow* w = window(window_name);
    return w ? w->widget(control) : nullptr;
}

ListControl* QtWindowLayer::Impl::list(std::string_view window_name, std::string_view control) const {
    if (!forms::check_control(window_name, control)) return nullptr;
    FormWindow* w = window(window_name);
    return w ? w->list(control) : nullptr;
}

void QtWindowLayer::Impl::on_window_thread(const std::function<void()>& task) const {
    if (QThread::currentThread() == dispatcher.thread()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(&dispatcher, [&task] { task(); }, Qt::BlockingQueuedConnection);
}

bool QtWindowLayer::Impl::menu_item_reachable(const FormWindow& w, std::string_view caption) const {
    const FormDef& form = w.form();
    int index = menu_item_index(form, caption);
    const QAction* self = w.menu_action(caption);
    if (index < 0 || !self || !self->isEnabled()) return false;
    // Walk up through the ancestors; the top-level item is the pop-up itself.
    int level = form.menu[index].level;
    for (int i = index - 1; i >= 0 && level > 1; --i) {
        if (form.menu[i].level >= level) continue;
        level = form.menu[i].level;
        const QAction* parent = w.menu_action(form.menu[i].caption);
        if (!parent || !parent->isEnabled()) return false;
    }
    return true;
}

void QtWindowLayer::Impl::free_later(FormWindow* doomed_window) {
    if (nested_loops > 0) {
        doomed.emplace_back(doomed_window);
        return;
    }
    // deleteLater, not delete: this may run inside one of the window's own event handlers.
    doomed_window->deleteLater();
}

QtWindowLayer::Impl::NestedLoop::NestedLoop(Impl& impl) : impl_(impl) { ++impl_.nested_loops; }

// Called from the handler that opened the outermost menu or dialog, so deleteLater frees
// the windows once that handler has returned to the main loop.
QtWindowLayer::Impl::NestedLoop::~NestedLoop() {
    if (--impl_.nested_loops > 0) return;
    for (QPointer<FormWindow>& window : impl_.doomed) {
        if (window) window->deleteLater();
    }
    impl_.doomed.clear();
}

void QtWindowLayer::Impl::quit_when_no_window_is_left() {
    QTimer::singleShot(0, &dispatcher, [this] {
        if (running && windows.empty()) QCoreApplication::exit(0);
    });
}

}  // namespace quillet::ui
