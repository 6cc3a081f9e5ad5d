// Types text into another program's window as if it came from the keyboard.
// Replaceable so that tests record what would be typed.
#pragma once

#include <cstdint>
#include <string>

namespace quillet::platform {

// A window of the desktop; 0 is none.
using DesktopWindow = std::uint64_t;

class Typist {
  public:
    virtual ~Typist() = default;
    // The innermost window under the mouse pointer; 0 when there is none.
    virtual DesktopWindow window_under_pointer() = 0;
    // Gives `window` the keyboard focus and types the characters of `text` (GBK) into it,
    // whatever the keyboard layout and the Caps Lock state. False, typing nothing, when the
    // window did not take the focus (gone, not shown, or 0): the text would otherwise go to
    // whichever window has the focus. An empty text types nothing; false only for window 0.
    virtual bool type_text(DesktopWindow window, const std::string& text) = 0;
    // The top-level window that holds `window` (itself when it is one); 0 when it is gone.
    virtual DesktopWindow top_level_of(DesktopWindow window) = 0;
    // Presses and releases Tab for whichever window has the keyboard focus.
    virtual void press_tab() = 0;
};

Typist& typist();
void set_typist(Typist* replacement);  // not owned; nullptr restores the system typist

}  // namespace quillet::platform
