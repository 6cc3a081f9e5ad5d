// Hot keys as passive key grabs on the root window, read from a connection of our own.
//
// Why a separate connection: the toolkit owns its connection and its event queue; ours is
// watched by a QSocketNotifier, so key events arrive on the window thread through the
// ordinary event loop. Why the key release: while a passive grab is active (from press to
// release) every key goes to the grabbing client, so text typed on the press would be
// swallowed by our own grab. Why four grabs per key: X matches modifiers exactly, and Num
// Lock or Caps Lock being on must not switch the keys off.
#include <QGuiApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <array>
#include <map>

// Xlib after Qt: its macros (None, KeyPress, Bool) would break Qt's headers.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "platform/desktop_registry.h"
#include "platform/hot_keys.h"
#include "platform/x11/x_error_trap.h"

namespace quillet::platform {
namespace {

KeySym keysym_of(HotKey key) {
    switch (key) {
        case HotKey::kF1:
            return XK_F1;
        case HotKey::kF2:
            return XK_F2;
        case HotKey::kF3:
            return XK_F3;
    }
    return NoSymbol;
}

// The modifier bit that Num Lock sets on this server (usually Mod2), 0 when none.
unsigned num_lock_mask(Display* display) {
    KeyCode num_lock = XKeysymToKeycode(display, XK_Num_Lock);
    if (num_lock == 0) return 0;
    XModifierKeymap* map = XGetModifierMapping(display);
    if (map == nullptr) return 0;
    unsigned mask = 0;
    for (int modifier = 0; modifier < 8 && mask == 0; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (map->modifiermap[modifier * map->max_keypermod + i] == num_lock) mask = 1u << modifier;
        }
    }
    XFreeModifiermap(map);
    return mask;
}

// Only a program whose windows are on the X server takes keys there; windows drawn
// offscreen (tests) must not grab keys on a display they merely happen to find.
bool windows_on_x11() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr &&
           QGuiApplication::platformName() == QLatin1String("xcb");
}

// Window thread only.
class X11HotKeys : public HotKeys {
  public:
    bool grab(HotKey key, std::function<void()> pressed) override {
        release(key);
        if (!open()) return false;
        KeyCode code = XKeysymToKeycode(display_, keysym_of(key));
        bool taken = false;
        if (code != 0) {
            x11::XErrorTrap trap(display_);
            for (unsigned modifiers : modifier_variants()) {
                XGrabKey(display_, code, modifiers, DefaultRootWindow(display_), False, GrabModeAsync, GrabModeAsync);
            }
            taken = trap.first_error() == Success;
            // Some variants may have been granted before another client's grab refused one.
            if (!taken) ungrab_all_variants(code);
        }
        if (taken) {
            grabs_[key] = Grab{code, std::move(pressed)};
        } else {
            close_when_idle();
        }
        return taken;
    }

    void release(HotKey key) override {
        auto found = grabs_.find(key);
        if (found == grabs_.end()) return;
        KeyCode code = found->second.code;
        grabs_.erase(found);
        {
            x11::XErrorTrap trap(display_);
            ungrab_all_variants(code);
        }
        close_when_idle();
    }

  private:
    struct Grab {
        KeyCode code;
        std::function<void()> pressed;
    };

    bool open() {
        if (display_ != nullptr) return true;
        if (!windows_on_x11()) return false;
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) return false;
        // Holding a key down must not repeat its action: the server then sends the
        // release only once, when the key really comes up.
        XkbSetDetectableAutoRepeat(display_, True, nullptr);
        lock_mask_variants_ = {0u, static_cast<unsigned>(LockMask), num_lock_mask(display_)};
        notifier_ =
            new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { deliver_pending(); });
        return true;
    }

    void close_when_idle() {
        if (!grabs_.empty() || display_ == nullptr) return;
        // Deleted later: this may run inside the notifier's own signal.
        if (notifier_) {
            notifier_->setEnabled(false);
            notifier_->deleteLater();
        }
        XCloseDisplay(display_);
        display_ = nullptr;
    }

    std::array<unsigned, 4> modifier_variants() const {
        unsigned lock = lock_mask_variants_[1], num = lock_mask_variants_[2];
        return {0u, lock, num, lock | num};
    }

    void ungrab_all_variants(KeyCode code) {
        for (unsigned modifiers : modifier_variants())
            XUngrabKey(display_, code, modifiers, DefaultRootWindow(display_));
    }

    // Reads every queued event; a handler may release keys (closing the connection) or
    // run a nested event loop, so the connection is checked again before each read.
    void deliver_pending() {
        while (display_ != nullptr && XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type != KeyRelease) continue;
            for (const auto& [key, grab] : grabs_) {
                if (grab.code != event.xkey.keycode) continue;
                std::function<void()> pressed = grab.pressed;  // the handler may release it
                pressed();
                break;
            }
        }
    }

    Display* display_ = nullptr;
    QPointer<QSocketNotifier> notifier_;  // owned by the application object
    std::array<unsigned, 3> lock_mask_variants_{};
    std::map<HotKey, Grab> grabs_;
};

X11HotKeys system_hot_keys;
const bool registered = (register_system_hot_keys(&system_hot_keys), true);

}  // namespace
}  // namespace quillet::platform
