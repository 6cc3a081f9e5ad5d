// The Qt 6 Widgets window layer. Free of Qt types so that the program's main can
// create it without including the toolkit.
#pragma once

#include <memory>

#include "ui/scripted_dialogs.h"
#include "ui/window_layer.h"

namespace quillet::ui {

// One per process; it creates the QApplication when there is none. Tests set
// QT_QPA_PLATFORM=offscreen before creating it.
class QtWindowLayer final : public WindowLayer, public ScriptedDialogs {
public:
    QtWindowLayer();
    ~QtWindowLayer() override;

    // The overrides of every WindowLayer and ScriptedDialogs operation follow here.

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quillet::ui
