// Test support: what a user does to the windows of a window layer, without a person. A
// control a user could not reach (hidden, disabled, under a modal dialog) takes nothing.
// Window thread only. One variant per toolkit (qt/, win32/), chosen by CMake.
#pragma once

#include <string_view>

#include "ui/window_layer.h"

namespace quillet::ui {

class ScriptedUser {
  public:
    explicit ScriptedUser(WindowLayer& layer) : layer_(layer) {}

    void click(std::string_view window, std::string_view control);
    // A menu item that a user could reach; items that open sub-menus are not chosen.
    void choose_menu_item(std::string_view window, std::string_view item);
    // Types as a user would: the box's length limit and input mode apply.
    void type_text(std::string_view window, std::string_view control, std::string_view text);
    // The same with UTF-8 text, so that characters GBK cannot hold can be typed too, as
    // an input method would.
    void type_utf8(std::string_view window, std::string_view control, std::string_view utf8);
    void move_mouse_over(std::string_view window, std::string_view control);
    void right_click(std::string_view window, std::string_view control);
    // The window's close box, or Alt+F4: the close request a window manager sends.
    void press_close_box(std::string_view window);

  private:
    WindowLayer& layer_;
};

}  // namespace quillet::ui
