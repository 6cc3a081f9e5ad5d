// The scripted half of QtWindowLayer: answers for dialogs and the actions of a user.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>

#include "ui/qt/gbk_text.h"
#include "ui/qt/layer_impl.h"
#include "ui/qt/list_control.h"
#include "ui/qt_window_layer.h"

namespace quillet::ui {

void QtWindowLayer::set_scripted(bool scripted) { impl_->script.set_scripted(scripted); }

void QtWindowLayer::answer_question(bool yes) { impl_->script.queue_question(yes); }

void QtWindowLayer::answer_input(bool confirmed, std::string_view text) { impl_->script.queue_input(confirmed, text); }

void QtWindowLayer::answer_password(bool confirmed, std::string_view password) {
    impl_->script.queue_password(confirmed, password);
}

std::vector<ShownDialog> QtWindowLayer::take_shown() { return impl_->script.take_shown(); }

// A click reaches only a visible, enabled control, as with a real mouse.
void QtWindowLayer::click(std::string_view window, std::string_view control) {
    QWidget* widget = impl_->widget(window, control);
    if (!widget || !widget->isEnabled() || widget->isHidden()) return;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->click();
    } else if (qobject_cast<ListControl*>(widget)) {
        // A click on the row already selected: the selection stays as it is.
        raise(window, control, Event::kClicked);
    }
}

void QtWindowLayer::choose_menu_item(std::string_view window, std::string_view item) {
    FormWindow* w = impl_->window(window);
    if (!w || w->submenu(item) || !impl_->menu_item_reachable(*w, item)) return;
    if (QAction* action = w->menu_action(item)) action->trigger();
}

namespace {

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

}  // namespace

void QtWindowLayer::type_text(std::string_view window, std::string_view control, std::string_view text) {
    type_into(impl_->widget(window, control), to_qt(text));
}

void QtWindowLayer::type_utf8(std::string_view window, std::string_view control, std::string_view utf8) {
    type_into(impl_->widget(window, control), QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

// A real mouse move, sent where the toolkit would deliver it (the list's viewport), so
// that mouse tracking decides whether it is reported.
void QtWindowLayer::move_mouse_over(std::string_view window, std::string_view control) {
    QWidget* widget = impl_->widget(window, control);
    if (!widget || widget->isHidden()) return;
    if (auto* list = qobject_cast<ListControl*>(widget)) widget = list->viewport();
    QPointF local(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent move(QEvent::MouseMove, local, widget->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void QtWindowLayer::right_click(std::string_view window, std::string_view control) {
    QWidget* widget = impl_->widget(window, control);
    if (!widget || !widget->isEnabled() || widget->isHidden()) return;
    if (qobject_cast<ListControl*>(widget)) {
        // Pressed on the selected row (or on empty space): the selection stays.
        raise(window, control, Event::kRightButtonPressed, widget->width() / 2, widget->height() / 2);
        return;
    }
    QPointF local(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, local, widget->mapToGlobal(local), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, widget->mapToGlobal(local), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void QtWindowLayer::press_close_box(std::string_view window) {
    if (FormWindow* w = impl_->window(window)) w->close();
}

bool QtWindowLayer::last_popup_item_enabled(std::string_view item) const {
    auto it = impl_->last_popup.find(item);
    return it != impl_->last_popup.end() && it->second;
}

}  // namespace quillet::ui
