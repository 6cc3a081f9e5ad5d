// The two places where the engine needs the user: the password prompt of a "?" open
// and the fatal runtime error report. The program fills them in from its window layer;
// the engine itself shows nothing.
#pragma once

#include <functional>
#include <string>

namespace quillet::db {

// Shows the password prompt. `tries_left` is 3 on the first try (no retry line), then
// 2 and 1 for the retry line "密码错误，您还有 %d 次重新输入的机会。". Returns false
// when the prompt was cancelled.
using PasswordPrompt = std::function<bool(int tries_left, std::string* password)>;
void set_password_prompt(PasswordPrompt prompt);

// Shows the fatal report text ("运行时出错!", an empty line, "错误信息：" and the
// message). The engine ends the process with exit code -1 after it returns.
using FatalReport = std::function<void(const std::string& text)>;
void set_fatal_report(FatalReport report);

}  // namespace quillet::db
