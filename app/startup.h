// Start-up: decides between the password setup window (first run, or the store has
// disappeared) and the login window, and carries out the first-run password setup.
#pragma once

#include <string>

#include "app/app_state.h"

namespace quillet::app {

// The note kept in data.ini for a user who has forgotten the password.
inline constexpr std::string_view kForgottenPasswordNote =
    "请勿删除本文件或修改本文件，如密码遗忘可以将该文件发送邮件maintainers@quillet.app";

// Opens the login window when a password has been set and the store exists, otherwise
// the password setup window (writing an empty store first when the store is gone).
void run_startup(AppState& state);

// Binds the setup window's 按钮_完成设置.
void bind_password_setup(AppState& state);

// Writes a store with the record fields and no records, without access password,
// creating or replacing `path`.
bool write_empty_store(const std::string& path);

}  // namespace quillet::app
