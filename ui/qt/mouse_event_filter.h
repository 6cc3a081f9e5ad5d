// Turns the toolkit's mouse events on a window and its controls into the layer's
// mouse moved, left button pressed and right button pressed events. The list reports
// its own (ListControl), after its selection has followed the click.
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "ui/window_layer.h"

namespace quillet::ui {

class MouseEventFilter : public QObject {
    Q_OBJECT
public:
    using Raise = std::function<void(const std::string& control, Event event, int x, int y)>;

    MouseEventFilter(Raise raise, QObject* parent);

    // Watches `widget`, reporting as `control` ("" for the window itself).
    void watch(QWidget* widget, std::string control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Raise raise_;
};

}  // namespace quillet::ui
