#include "app/startup.h"

#include "app/copy_and_type.h"
#include "app/database_check.h"
#include "app/password_vault.h"
#include "app/recovery_notice.h"
#include "app/record_store.h"
#include "app/session.h"
#include "app/unstorable_text.h"
#include "db/database_handle.h"
#include "db/result_code.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

namespace forms = quillet::ui::forms;

std::string settings_path() { return platform::program_file("data.ini"); }
std::string store_path() { return platform::program_file("data.edb"); }

enum class Protection { kSet, kAlreadyLocked, kOtherPassword, kNotSet, kNoStore };

// Makes `password` the store's access password. A store locked with another password is
// left alone: re-keying it is impossible without that password, and storing the new
// login password anyway would leave the user with a store no login can open.
Protection protect_store(const std::string& password) {
    const auto store_lock = lock_store();
    const std::string path = store_path();
    if (!platform::is_existing_file(path)) write_empty_store(path);
    db::Database store;
    const platform::Status open = open_credential_store(path, "", &store);
    if (open.ok()) return store.set_password(password).ok() ? Protection::kSet : Protection::kNotSet;
    if (open.code() == db::kWrongPassword) {
        if (!open_credential_store(path, password, &store).ok()) return Protection::kOtherPassword;
        return Protection::kAlreadyLocked;
    }
    // No store could be written or opened: a setup finished now would lead to a login
    // that cannot open the store.
    return Protection::kNoStore;
}

// What the user is told when data.ini could not take the password or the flag.
std::string settings_not_written(Protection protection, const std::string& typed) {
    const std::string failure = "设置文件 data.ini 无法写入（磁盘已满或目录不可写？），密码设置未完成。\r\n";
    if (protection != Protection::kSet) return failure + "请排除问题后重新设置密码。";
    return "数据文件 data.edb 已用你输入的密码（" + typed + "）加密保护，但" + failure +
           "请排除问题后再次输入同一密码完成设置。";
}

// The first-run flag is the setup's commit point: it is written only after the store is
// locked and the password stored. A flag still set (the start recreated the store but
// could not clear it) is cleared first, so that a setup cut short by a failed write always
// leaves the flag unset. The next start then opens the setup window again, where the store
// that is already locked with the typed password accepts that same password.
void complete_setup(AppState& state, const SettingWriter& write_setting) {
    ui::WindowLayer& windows = state.windows;
    std::string typed = windows.text(forms::setup::window, forms::setup::password);
    if (typed.empty()) {
        windows.balloon_tip(forms::setup::window, forms::setup::tip, "请输入密码", windows.cursor_position());
        return;
    }
    if (refuse_unstorable_text(windows, forms::setup::window, {{forms::setup::password, "登录密码"}}, "未设置")) {
        wipe_text(typed);
        return;
    }
    const std::string settings = settings_path();
    if (platform::read_setting(settings, "reg", "reg") == "1" && !write_setting(settings, "reg", "reg", "")) {
        wipe_text(typed);
        windows.message_box("无法写入设置文件 data.ini（磁盘已满或目录不可写？），本次设置未做任何修改。");
        return;
    }
    const Protection protection = protect_store(typed);
    switch (protection) {
        case Protection::kSet:
        case Protection::kAlreadyLocked:
            break;
        case Protection::kNoStore:
            wipe_text(typed);
            windows.message_box("数据文件 data.edb 无法创建或打开（磁盘已满、目录不可写或文件正被其他程序使用？），"
                                "密码设置未完成。\r\n请排除问题后重新设置密码。");
            return;
        case Protection::kOtherPassword:
            wipe_text(typed);
            windows.message_box(
                "数据文件 data.edb 已经用原来的密码加密保护，新密码无法打开它。\r\n"
                "请输入原来的密码完成设置；本次设置未做任何修改。");
            return;
        case Protection::kNotSet:
            wipe_text(typed);
            windows.message_box("无法给数据文件 data.edb 设置密码，本次设置未做任何修改。");
            return;
    }
    std::string recovery_code;
    if (!write_setting(settings, "password", "password", format_vault(new_vault(typed, &recovery_code))) ||
        !write_setting(settings, "reg", "reg", "1")) {
        std::string shown = settings_not_written(protection, typed);
        wipe_text(typed);
        windows.message_box(shown);
        wipe_text(shown);
        return;
    }
    // The note is never read back: with the flag and the password stored the setup is
    // complete even when the note could not be added.
    write_setting(settings, "tishi", "tishi", std::string(kForgottenPasswordNote));

    std::string shown =
        "你设置的密码为：" + typed + "\r\n请一定要牢记密码，否则无法查看数据文件，已将密码置剪辑板，你可粘贴保存起来！";
    windows.message_box(shown);
    wipe_text(shown);
    copy_secret_to_clipboard(typed);
    wipe_text(typed);
    show_recovery_code(windows, recovery_code);
    windows.load_window(forms::login::window);
    windows.destroy_window(forms::setup::window);
}

}  // namespace

bool write_empty_store(const std::string& path) {
    // A fixed stamp and serial keep every empty store byte-identical.
    return db::create_data_file(path, credential_fields(), db::CreateOptions{44474.76592592592, 5}).ok();
}

void run_startup(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    if (platform::read_setting(settings_path(), "reg", "reg") != "1") {
        windows.load_window(forms::setup::window);
        return;
    }
    const std::string path = store_path();
    if (platform::is_existing_file(path)) {
        windows.load_window(forms::login::window);
        return;
    }
    {
        const auto store_lock = lock_store();
        write_empty_store(path);
    }
    // The new store has no password yet: until the setup sets one, the next start must
    // offer the setup again rather than a login whose password the store does not have.
    platform::write_setting(settings_path(), "reg", "reg", "");
    windows.message_box("发现数据库被删除，需重新设置密码");
    windows.load_window(forms::setup::window);
}

void bind_password_setup(AppState& state, SettingWriter write_setting) {
    state.windows.bind(forms::setup::window, forms::setup::finish, ui::Event::kClicked,
                       [&state, write = std::move(write_setting)](int, int) { complete_setup(state, write); });
}

}  // namespace quillet::app
