// The Qt 6 Widgets window layer. Free of Qt types so that the program's main can
// create it without including the toolkit.
#pragma once

#include "ui/front_end.h"

namespace quillet::ui {

// One per process; it creates the QApplication when there is none. Tests set
// QT_QPA_PLATFORM=offscreen before creating it.
class QtWindowLayer final : public FrontEnd {
  public:
    QtWindowLayer();
};

}  // namespace quillet::ui
