// Boxes holding characters GBK cannot (an emoji, a CJK extension character). Their text
// would reach the store, the settings or the login check with "?" in their place, so
// it is refused before anything is done, the way an overlong text is.
#pragma once

#include <initializer_list>
#include <string_view>

#include "ui/window_layer.h"

namespace quillet::app {

struct NamedBox {
    std::string_view control;
    std::string_view name;  // as the user knows the box
};

// When a box of `window` holds such characters, tells the user which box and what did not
// happen (`outcome`, e.g. "未保存") and returns true.
bool refuse_unstorable_text(ui::WindowLayer& windows, std::string_view window, std::initializer_list<NamedBox> boxes,
                            std::string_view outcome);

}  // namespace quillet::app
