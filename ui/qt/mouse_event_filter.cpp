#include "ui/qt/mouse_event_filter.h"

#include <QMouseEvent>
#include <QVariant>
#include <QWidget>

namespace quillet::ui {
namespace {

constexpr const char* kControlProperty = "quillet_control";

}  // namespace

MouseEventFilter::MouseEventFilter(Raise raise, QObject* parent) : QObject(parent), raise_(std::move(raise)) {}

void MouseEventFilter::watch(QWidget* widget, std::string control) {
    widget->setProperty(kControlProperty, QByteArray::fromStdString(control));
    // Each control reports its own mouse; its parent does not see it a second time.
    if (!control.empty()) widget->setAttribute(Qt::WA_NoMousePropagation);
    widget->installEventFilter(this);
}

bool MouseEventFilter::eventFilter(QObject* watched, QEvent* event) {
    QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    Event kind;
    if (type == QEvent::MouseMove) {
        kind = Event::kMouseMoved;
    } else if (mouse->button() == Qt::LeftButton) {
        kind = Event::kLeftButtonPressed;
    } else if (mouse->button() == Qt::RightButton) {
        kind = Event::kRightButtonPressed;
    } else {
        return false;
    }
    const std::string control = watched->property(kControlProperty).toByteArray().toStdString();
    QPoint pos = mouse->position().toPoint();
    raise_(control, kind, pos.x(), pos.y());
    return false;  // the control still handles its own mouse
}

}  // namespace quillet::ui
