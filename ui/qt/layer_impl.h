// The state behind QtWindowLayer, shared by its window operations and its scripted
// user actions. Everything here lives on the window thread (the thread that created the
// QApplication); other threads reach it only through run_on_window_thread(), except the
// dialog script, which guards itself.
#pragma once

#include <QApplication>
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog_script.h"
#include "ui/event_bindings.h"
#include "ui/qt/form_window.h"
#include "ui/qt_window_layer.h"

namespace quillet::ui {

class ListControl;

struct QtWindowLayer::Impl {
    Impl();
    ~Impl();

    FormWindow* window(std::string_view name) const;
    QWidget* widget(std::string_view window, std::string_view control) const;
    ListControl* list(std::string_view window, std::string_view control) const;
    // Runs `task` on the window thread and waits; at once when already there.
    void on_window_thread(const std::function<void()>& task) const;
    // The item is enabled and so is every item above it (a greyed sub-menu hides its children).
    bool menu_item_reachable(const FormWindow& window, std::string_view caption) const;
    // Ends run() once no window is left; checked after the current handler, so that a
    // handler may destroy one window and load the next.
    void quit_when_no_window_is_left();

    // Frees a destroyed window: after the current handler, or, inside menus and dialogs,
    // once the outermost of them has returned.
    void free_later(FormWindow* window);

    // Marks a menu or dialog's nested event loop for its lifetime. A window destroyed in
    // there (the idle logout) may still be on the stack below: the pop-up menu belongs to
    // the main window, and the list's press handling goes on after the menu returns.
    class NestedLoop {
      public:
        explicit NestedLoop(Impl& impl);
        ~NestedLoop();
        NestedLoop(const NestedLoop&) = delete;
        NestedLoop& operator=(const NestedLoop&) = delete;

      private:
        Impl& impl_;
    };

    std::unique_ptr<QApplication> owned_app;
    mutable QObject dispatcher;  // lives on the window thread: the target of posted tasks
    EventBindings bindings;
    DialogScript script;
    std::map<std::string, FormWindow*, std::less<>> windows;
    std::map<std::string, bool, std::less<>> last_popup;
    bool running = false;
    int nested_loops = 0;
    std::vector<QPointer<FormWindow>> doomed;  // destroyed inside nested loops, not yet freed
};

}  // namespace quillet::ui
