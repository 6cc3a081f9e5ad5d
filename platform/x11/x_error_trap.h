// Catches the X errors of a few requests instead of letting Xlib's default handler end
// the program (a key another program holds answers a grab with BadAccess; a window may
// vanish before it gets the focus). Xlib has one process-wide handler, so the trap
// installs its own for its lifetime and passes errors of other connections on to the
// handler it replaced. Window thread only; traps do not nest.
#pragma once

#include <X11/Xlib.h>

namespace quillet::platform::x11 {

class XErrorTrap {
  public:
    explicit XErrorTrap(Display* display);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Waits until the server has answered every request so far; the first error code of
    // the trapped requests, Success when there was none.
    int first_error();

  private:
    Display* display_;
    XErrorHandler previous_;
};

}  // namespace quillet::platform::x11
