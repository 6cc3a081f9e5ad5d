// The modal dialogs, without owner, shown on the window thread.
#pragma once

#include <string>
#include <string_view>

#include "ui/window_layer.h"

namespace quillet::ui {

// Caption "信息：", one OK button, no icon.
void show_message(std::string_view text);
// Caption "信息：", Yes and No with the question icon; true only for Yes.
bool ask_question(std::string_view text);
// Buttons "确认输入(&O)" and "取消(&C)"; true when confirmed, `entered` then holds the text.
bool ask_input(std::string_view caption, std::string_view prompt, std::string_view initial, std::string* entered);
void show_balloon(std::string_view text, Point screen);

}  // namespace quillet::ui
