// Test support: modal dialogs answered from a script instead of a person, and the
// user's actions on controls. The Qt window layer implements it; tests drive windows
// only through this and WindowLayer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet::ui {

struct ShownDialog {
    enum class Kind { kMessage, kQuestion, kInput, kPassword, kBalloon } kind;
    std::string text;  // message text, input-box caption, or balloon text
};

class ScriptedDialogs {
public:
    virtual ~ScriptedDialogs() = default;

    // When scripted, dialogs are not shown: each takes the next queued answer (message
    // boxes need none; a question without a queued answer is No, an input box or
    // password prompt without one is cancelled) and is recorded.
    virtual void set_scripted(bool scripted) = 0;
    virtual void answer_question(bool yes) = 0;
    virtual void answer_input(bool confirmed, std::string_view text = {}) = 0;
    virtual void answer_password(bool confirmed, std::string_view password = {}) = 0;
    virtual std::vector<ShownDialog> take_shown() = 0;

    // What a user does.
    virtual void click(std::string_view window, std::string_view control) = 0;
    virtual void choose_menu_item(std::string_view window, std::string_view item) = 0;
    // Types as a user would: the box's length limit and input mode apply.
    virtual void type_text(std::string_view window, std::string_view control, std::string_view text) = 0;
    // The same with UTF-8 text, so that characters GBK cannot hold can be typed too, as
    // an input method would.
    virtual void type_utf8(std::string_view window, std::string_view control, std::string_view utf8) = 0;
    virtual void move_mouse_over(std::string_view window, std::string_view control) = 0;
    virtual void right_click(std::string_view window, std::string_view control) = 0;
    // The window's close box, or Alt+F4: the close request a window manager sends.
    virtual void press_close_box(std::string_view window) = 0;
    // Enabled state of the items of the last pop-up menu, by caption, as shown.
    virtual bool last_popup_item_enabled(std::string_view item) const = 0;
};

}  // namespace quillet::ui
