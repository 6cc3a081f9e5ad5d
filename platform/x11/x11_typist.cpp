// Typing through the XTest extension: every character becomes a key press and release,
// exactly as if it came from the keyboard, sent to the window that was given the focus.
//
// Layout independence: each character's keysym is looked up in the keyboard group that is
// active now, at the level reached without or with Shift. A character the active group
// does not have (Chinese, symbols of other layouts) is typed through a spare keycode, one
// without any keysym, that is remapped to that character for the moment. The spare
// keycodes are given back a little later, not at once: a client reads the new keymap only
// when it gets to the mapping notification, and by then the keymap must still be ours.
// Caps Lock is unlocked while typing and locked again afterwards, so it never changes the
// case of what is typed.
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

// Xlib after Qt: its macros (None, KeyPress, Bool) would break Qt's headers.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/desktop_registry.h"
#include "platform/text_codec.h"
#include "platform/typist.h"
#include "platform/x11/x_error_trap.h"

namespace quillet::platform {
namespace {

constexpr int kSpareRestoreDelayMs = 3000;

struct KeyboardMapFree {
    void operator()(XkbDescPtr map) const { XkbFreeKeyboard(map, 0, True); }
};
using KeyboardMap = std::unique_ptr<XkbDescRec, KeyboardMapFree>;

// Code points of a GBK text; a lone surrogate is dropped.
std::vector<char32_t> code_points(const std::string& gbk) {
    std::u16string units = gbk_to_utf16(gbk);
    std::vector<char32_t> points;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            points.push_back(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (unit < 0xD800 || unit > 0xDFFF) {
            points.push_back(unit);
        }
    }
    return points;
}

// The keysym that types a character; NoSymbol for control characters without a key.
KeySym keysym_of(char32_t point) {
    if (point == U'\t') return XK_Tab;
    if (point == U'\n' || point == U'\r') return XK_Return;
    if (point < 0x20 || (point >= 0x7F && point < 0xA0)) return NoSymbol;
    if (point <= 0xFF) return point;  // Latin-1 keysyms are the code points themselves
    return 0x01000000 + point;
}

struct KeyStroke {
    KeyCode code = 0;
    bool shift = false;
};

// The shift level a key reaches in `group` with `modifiers` held, as its key type says.
int level_of(XkbDescPtr map, KeyCode code, int group, unsigned modifiers) {
    XkbKeyTypePtr type = XkbKeyKeyType(map, code, group);
    unsigned relevant = modifiers & type->mods.mask;
    for (int i = 0; i < type->map_count; ++i) {
        const XkbKTMapEntryRec& entry = type->map[i];
        if (entry.active && entry.mods.mask == relevant) return entry.level;
    }
    return 0;
}

// Window thread only.
class X11Typist : public Typist {
  public:
    ~X11Typist() override {
        if (display_ == nullptr) return;
        give_back_spares();
        XCloseDisplay(display_);
    }

    DesktopWindow window_under_pointer() override {
        if (!open()) return 0;
        Window root = DefaultRootWindow(display_);
        Window current = root;
        for (;;) {
            Window pointer_root = None, child = None;
            int root_x = 0, root_y = 0, x = 0, y = 0;
            unsigned mask = 0;
            if (!XQueryPointer(display_, current, &pointer_root, &child, &root_x, &root_y, &x, &y, &mask)) {
                return 0;  // the pointer is on another screen
            }
            if (child == None) break;
            current = child;
        }
        return current == root ? 0 : current;
    }

    bool type_text(DesktopWindow window, const std::string& text) override {
        if (window == 0 || !open()) return false;
        if (text.empty()) return true;
        if (!take_focus(static_cast<Window>(window))) return false;
        XkbStateRec state{};
        XkbGetState(display_, XkbUseCoreKbd, &state);
        bool caps_locked = (state.locked_mods & LockMask) != 0;
        if (caps_locked) XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, 0);
        unsigned held = state.locked_mods & ~LockMask;

        KeyboardMap map(XkbGetMap(display_, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd));
        if (map) {
            for (char32_t point : code_points(text)) {
                KeySym keysym = keysym_of(point);
                if (keysym == NoSymbol) continue;
                KeyStroke stroke = find_key(map.get(), keysym, state.group, held);
                if (stroke.code == 0) stroke.code = borrow_spare(map.get(), keysym);
                if (stroke.code != 0) press(stroke);
            }
        }
        if (caps_locked) XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, LockMask);
        XFlush(display_);
        schedule_spare_restore();
        return true;
    }

    DesktopWindow top_level_of(DesktopWindow window) override {
        if (window == 0 || !open()) return 0;
        x11::XErrorTrap trap(display_);  // the window may be gone by now
        Window current = static_cast<Window>(window);
        for (;;) {
            Window root = None, parent = None, *children = nullptr;
            unsigned count = 0;
            if (!XQueryTree(display_, current, &root, &parent, &children, &count)) return 0;
            if (children != nullptr) XFree(children);
            if (parent == root || parent == None) return current;
            current = parent;
        }
    }

    void press_tab() override {
        if (!open()) return;
        KeyCode tab = XKeysymToKeycode(display_, XK_Tab);
        if (tab == 0) return;
        press(KeyStroke{tab, false});
        XFlush(display_);
    }

  private:
    bool open() {
        if (display_ != nullptr) return true;
        // Windows drawn offscreen (tests) type into no display they happen to find.
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr ||
            QGuiApplication::platformName() != QLatin1String("xcb")) {
            return false;
        }
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) return false;
        int event_base = 0, error_base = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(display_, &event_base, &error_base, &major, &minor)) {
            XCloseDisplay(display_);
            display_ = nullptr;
            return false;
        }
        shift_ = XKeysymToKeycode(display_, XK_Shift_L);
        return true;
    }

    // Whether `window` has the keyboard focus after asking for it. A window that is gone or
    // not shown refuses (BadWindow, BadMatch); a window manager may also refuse quietly.
    bool take_focus(Window window) {
        x11::XErrorTrap trap(display_);
        XSetInputFocus(display_, window, RevertToParent, CurrentTime);
        if (trap.first_error() != Success) return false;
        Window focused = None;
        int revert_to = 0;
        XGetInputFocus(display_, &focused, &revert_to);
        return focused == window;
    }

    // A key of the active group that gives `keysym` without Shift, or else with Shift.
    KeyStroke find_key(XkbDescPtr map, KeySym keysym, int group, unsigned held) const {
        KeyStroke shifted;
        for (int code = map->min_key_code; code <= map->max_key_code; ++code) {
            int groups = XkbKeyNumGroups(map, code);
            if (groups == 0) continue;
            int key_group = group % groups;  // groups beyond a key's own wrap around
            int width = XkbKeyGroupWidth(map, code, key_group);
            int plain = level_of(map, code, key_group, held);
            if (plain < width && XkbKeySymEntry(map, code, plain, key_group) == keysym) {
                return KeyStroke{static_cast<KeyCode>(code), false};
            }
            int upper = level_of(map, code, key_group, held | ShiftMask);
            if (shifted.code == 0 && shift_ != 0 && upper < width &&
                XkbKeySymEntry(map, code, upper, key_group) == keysym) {
                shifted = KeyStroke{static_cast<KeyCode>(code), true};
            }
        }
        return shifted;
    }

    // A spare keycode showing `keysym` in every group and at every level; 0 when there is none.
    KeyCode borrow_spare(XkbDescPtr map, KeySym keysym) {
        auto lent = lent_.find(keysym);
        if (lent != lent_.end()) return lent->second;
        KeyCode spare = 0;
        if (!free_spares_.empty()) {
            spare = free_spares_.back();
            free_spares_.pop_back();
        }
        for (int code = map->max_key_code; code >= map->min_key_code && spare == 0; --code) {
            if (XkbKeyNumSyms(map, code) == 0 && !is_lent(static_cast<KeyCode>(code))) spare = code;
        }
        if (spare == 0) {
            if (lent_.empty()) return 0;
            // Every spare key is taken: this text holds more distinct foreign characters than
            // there are spare keys. Reuse them, after the server has sent what came before.
            XSync(display_, False);
            for (const auto& entry : lent_) free_spares_.push_back(entry.second);
            lent_.clear();
            spare = free_spares_.back();
            free_spares_.pop_back();
        }
        KeySym syms[2] = {keysym, keysym};
        XChangeKeyboardMapping(display_, spare, 2, syms, 1);
        lent_[keysym] = spare;
        return spare;
    }

    bool is_lent(KeyCode code) const {
        for (const auto& entry : lent_) {
            if (entry.second == code) return true;
        }
        for (KeyCode free : free_spares_) {
            if (free == code) return true;
        }
        return false;
    }

    void press(KeyStroke stroke) {
        if (stroke.shift) XTestFakeKeyEvent(display_, shift_, True, CurrentTime);
        XTestFakeKeyEvent(display_, stroke.code, True, CurrentTime);
        XTestFakeKeyEvent(display_, stroke.code, False, CurrentTime);
        if (stroke.shift) XTestFakeKeyEvent(display_, shift_, False, CurrentTime);
    }

    void schedule_spare_restore() {
        if (lent_.empty() && free_spares_.empty()) return;
        if (QCoreApplication::instance() == nullptr) {
            give_back_spares();
            return;
        }
        if (!restore_timer_) {
            restore_timer_ = new QTimer(QCoreApplication::instance());
            restore_timer_->setSingleShot(true);
            QObject::connect(restore_timer_, &QTimer::timeout, restore_timer_, [this] { give_back_spares(); });
        }
        restore_timer_->start(kSpareRestoreDelayMs);  // a later text postpones it again
    }

    void give_back_spares() {
        KeySym none[2] = {NoSymbol, NoSymbol};
        for (const auto& entry : lent_) XChangeKeyboardMapping(display_, entry.second, 2, none, 1);
        for (KeyCode code : free_spares_) XChangeKeyboardMapping(display_, code, 2, none, 1);
        lent_.clear();
        free_spares_.clear();
        XFlush(display_);
    }

    Display* display_ = nullptr;
    KeyCode shift_ = 0;
    std::map<KeySym, KeyCode> lent_;    // spare keycodes showing a character now
    std::vector<KeyCode> free_spares_;  // spare keycodes of ours, free for reuse
    QPointer<QTimer> restore_timer_;    // owned by the application object
};

X11Typist system_typist;
const bool registered = (register_system_typist(&system_typist), true);

}  // namespace
}  // namespace quillet::platform
