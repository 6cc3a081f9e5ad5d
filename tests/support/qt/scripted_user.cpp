// The user's actions on the Qt window layer, sent through the widgets' own handling.
#include "tests/support/scripted_user.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>

#include "ui/qt/form_window.h"
#include "ui/qt/gbk_text.h"
#include "ui/qt/list_control.h"

namespace quillet::ui {
namespace {

FormWindow* open_window(std::string_view name) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<FormWindow*>(top);
        if (window && window->form().name == name && !window->is_shut_down()) return window;
    }
    return nullptr;
}

QWidget* widget(std::string_view window, std::string_view control) {
    FormWindow* w = open_window(window);
    return w ? w->widget(control) : nullptr;
}

bool reachable(const QWidget* widget) { return widget && widget->isEnabled() && !widget->isHidden(); }

// Character by character through the box's own input handling, so that its length
// limit and digits-only mode refuse what they would refuse from the keyboard.
void type_into(QWidget* widget, const QString& typed) {
    if (!widget || !widget->isEnabled()) return;
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->isReadOnly()) return;
        edit->end(false);
        for (qsizetype i = 0; i < typed.size();) {
            const qsizetype length = typed[i].isHighSurrogate() && i + 1 < typed.size() ? 2 : 1;
            edit->insert(typed.mid(i, length));
            i += length;
        }
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
        if (edit->isReadOnly()) return;
        edit->moveCursor(QTextCursor::End);
        edit->insertPlainText(typed);
    }
}

void send_mouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QPointF local(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

}  // namespace

void ScriptedUser::click(std::string_view window, std::string_view control) {
    QWidget* w = widget(window, control);
    if (!reachable(w)) return;
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->click();
    } else if (qobject_cast<ListControl*>(w)) {
        // A click on the row already selected: the selection stays as it is.
        layer_.raise(window, control, Event::kClicked);
    }
}

void ScriptedUser::type_text(std::string_view window, std::string_view control, std::string_view text) {
    type_into(widget(window, control), to_qt(text));
}

void ScriptedUser::type_utf8(std::string_view window, std::string_view control, std::string_view utf8) {
    type_into(widget(window, control), QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

// A real mouse move, sent where the toolkit would deliver it (the list's viewport), so
// that mouse tracking decides whether it is reported.
void ScriptedUser::move_mouse_over(std::string_view window, std::string_view control) {
    QWidget* w = widget(window, control);
    if (!w || w->isHidden()) return;
    if (auto* list = qobject_cast<ListControl*>(w)) w = list->viewport();
    send_mouse(w, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
}

void ScriptedUser::right_click(std::string_view window, std::string_view control) {
    QWidget* w = widget(window, control);
    if (!reachable(w)) return;
    if (qobject_cast<ListControl*>(w)) {
        // Pressed on the selected row (or on empty space): the selection stays.
        layer_.raise(window, control, Event::kRightButtonPressed, w->width() / 2, w->height() / 2);
        return;
    }
    send_mouse(w, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
    send_mouse(w, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton);
}

void ScriptedUser::press_close_box(std::string_view window) {
    if (FormWindow* w = open_window(window)) w->close();
}

}  // namespace quillet::ui
