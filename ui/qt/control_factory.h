// Creates the widget of one control of a form definition. Timers and balloon tips have
// no widget of their own (the form window keeps timers; balloons are shown by command).
#pragma once

#include <QWidget>

#include "ui/forms.h"

namespace quillet::ui {

// The widget, placed at the control's geometry and flags; nullptr for timers and balloon tips.
QWidget* create_control_widget(const ControlDef& def, QWidget* parent);

}  // namespace quillet::ui
