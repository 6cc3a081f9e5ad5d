// A small modal window asking for one line of text: the input box and the password
// prompt. Runs its own message loop until it is answered or closed.
#pragma once

#include <windows.h>

#include <string>

namespace quillet::ui::win32 {

struct PromptTexts {
    std::wstring caption;
    std::wstring prompt;
    std::wstring initial;
    std::wstring confirm = L"\u786E\u8BA4\u8F93\u5165(&O)";  // 确认输入(&O)
    std::wstring cancel = L"\u53D6\u6D88(&C)";              // 取消(&C)
    bool hidden = false;                                      // draw "*" for each character
};

// True when confirmed; `entered` then holds the text. The prompt is owned by `owner` (may be
// null), which takes no input meanwhile; a prompt destroyed with its owner is cancelled.
bool ask_line(const PromptTexts& texts, HWND owner, std::wstring* entered);

}  // namespace quillet::ui::win32
