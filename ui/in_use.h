// When a destroyed window may be freed. A window is often destroyed from inside its own
// code: a button's handler closes its window, the close box arrives in the window's own
// message handling, and the idle logout destroys the main window from inside the loop of
// a menu or dialog that one of its handlers opened, with the list's press handling still
// waiting below on the stack. Such a window is shut down at once (off the screen, silent)
// but kept, and freed from a posted task once no handler, no menu or dialog loop and no
// message handling of a form runs any more.
//
// Window thread only, so unguarded.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "ui/toolkit.h"

namespace quillet::ui {

class InUse {
  public:
    using Post = std::function<void(std::function<void()>)>;
    explicit InUse(Post post) : post_(std::move(post)) {}

    // Held while code that may use a form window runs.
    class Scope {
      public:
        explicit Scope(InUse& in_use) : in_use_(in_use) { ++in_use_.depth_; }
        ~Scope() { in_use_.leave(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        InUse& in_use_;
    };

    // Takes a window that has been shut down, to free it once nothing uses it.
    void keep_until_unused(std::unique_ptr<ToolkitWindow> closed);
    // Frees every kept window now; the layer is going away.
    void free_all() { closed_.clear(); }

  private:
    void leave();
    void free_later();

    Post post_;
    int depth_ = 0;
    std::vector<std::unique_ptr<ToolkitWindow>> closed_;
};

}  // namespace quillet::ui
