// Start-up: decides between the password setup window (first run, or the store has
// disappeared) and the login window, and carries out the first-run password setup.
#pragma once

#include <functional>
#include <string>

#include "app/app_state.h"
#include "platform/settings_file.h"

namespace quillet::app {

// The note kept in data.ini for a user who has forgotten the password.
inline constexpr std::string_view kForgottenPasswordNote =
    "请勿删除本文件或修改本文件，如密码遗忘可以使用恢复码找回（quillet-cli recover）";

// Opens the login window when a password has been set and the store exists, otherwise
// the password setup window (writing an empty store first when the store is gone).
void run_startup(AppState& state);

// Writes one key of a settings file and says whether it was stored.
using SettingWriter = std::function<bool(const std::string& file, const std::string& section, const std::string& key,
                                         const std::string& value)>;

// Binds the setup window's 按钮_完成设置. The setup writes data.ini through
// `write_setting`, which tests replace to make a chosen write fail.
void bind_password_setup(AppState& state, SettingWriter write_setting = platform::write_setting);

// Writes a store with the record fields and no records, without access password,
// creating or replacing `path`.
bool write_empty_store(const std::string& path);

}  // namespace quillet::app
