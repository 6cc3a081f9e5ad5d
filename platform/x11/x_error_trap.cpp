#include "platform/x11/x_error_trap.h"

namespace quillet::platform::x11 {
namespace {

// Only touched on the window thread, between a trap's construction and destruction.
Display* trapped_display = nullptr;
XErrorHandler outer_handler = nullptr;
int trapped_error = Success;

int record_error(Display* display, XErrorEvent* error) {
    if (display != trapped_display) return outer_handler ? outer_handler(display, error) : 0;
    if (trapped_error == Success) trapped_error = error->error_code;
    return 0;
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);  // errors of earlier requests are not ours to swallow
    trapped_display = display_;
    trapped_error = Success;
    previous_ = XSetErrorHandler(record_error);
    outer_handler = previous_;
}

XErrorTrap::~XErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
    trapped_display = nullptr;
    outer_handler = nullptr;
}

int XErrorTrap::first_error() {
    XSync(display_, False);
    return trapped_error;
}

}  // namespace quillet::platform::x11
