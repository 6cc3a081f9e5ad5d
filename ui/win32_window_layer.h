// The Win32 window layer: the forms as plain Win32 windows and common controls. Free of
// Windows types so that the program's main can create it without the system headers.
#pragma once

#include "ui/front_end.h"

namespace quillet::ui {

// One per process, created on the thread that becomes the window thread.
class Win32WindowLayer final : public FrontEnd {
  public:
    Win32WindowLayer();
};

}  // namespace quillet::ui
