#include "ui/in_use.h"

namespace quillet::ui {

void InUse::keep_until_unused(std::unique_ptr<ToolkitWindow> closed) {
    closed_.push_back(std::move(closed));
    if (depth_ == 0) free_later();
}

void InUse::leave() {
    if (--depth_ == 0 && !closed_.empty()) free_later();
}

// Posted, not done here: the code that let go may itself run inside the window's own
// message handling, which goes on after it returns. The task looks again when it runs,
// since a menu or dialog may have opened meanwhile.
void InUse::free_later() {
    post_([this] {
        if (depth_ == 0) closed_.clear();
    });
}

}  // namespace quillet::ui
