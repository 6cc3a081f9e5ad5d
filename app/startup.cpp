#include "app/startup.h"

#include <vector>

#include "app/copy_and_type.h"
#include "app/record_store.h"
#include "app/session.h"
#include "app/text_cipher.h"
#include "app/unstorable_text.h"
#include "db/database.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"

namespace quillet::app {
namespace {

using ui::kLoginWindow;
using ui::kSetupWindow;

// The engine's code for a missing or wrong access password.
constexpr std::int32_t kWrongAccessPassword = -78;

std::string settings_path() { return platform::program_file("data.ini"); }
std::string store_path() { return platform::program_file("data.edb"); }

enum class Protection { kSet, kOtherPassword, kNotSet };

// Makes `password` the store's access password. A store locked with another password is
// left alone: re-keying it is impossible without that password, and storing the new
// login password anyway would leave the user with a store no login can open.
Protection protect_store(const std::string& password) {
    const auto store_lock = lock_store();
    const std::string path = store_path();
    if (!platform::is_existing_file(path)) write_empty_store(path);
    if (db::open_database(path)) {
        const bool set = db::set_access_password(password);
        db::close_database(path);
        return set ? Protection::kSet : Protection::kNotSet;
    }
    if (db::last_database_error() == kWrongAccessPassword) {
        db::OpenOptions options;
        options.password = password;
        if (!db::open_database(path, options)) return Protection::kOtherPassword;
        db::close_database(path);  // already locked with this very password
    }
    // Any other failure (no store could be written) leaves the store to the next start,
    // which finds it missing and asks again.
    return Protection::kSet;
}

void complete_setup(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    std::string typed = windows.text(kSetupWindow, "编辑框_设置登录密码");
    if (typed.empty()) {
        windows.balloon_tip(kSetupWindow, "气球提示框1", "请输入密码", windows.cursor_position());
        return;
    }
    if (refuse_unstorable_text(windows, kSetupWindow, {{"编辑框_设置登录密码", "登录密码"}}, "未设置")) {
        wipe_text(typed);
        return;
    }
    switch (protect_store(typed)) {
        case Protection::kSet:
            break;
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
    const std::string settings = settings_path();
    platform::write_setting(settings, "password", "password", encipher(typed, kCipherKey));
    platform::write_setting(settings, "reg", "reg", "1");
    platform::write_setting(settings, "tishi", "tishi", std::string(kForgottenPasswordNote));

    std::string shown =
        "你设置的密码为：" + typed + "\r\n请一定要牢记密码，否则无法查看数据文件，已将密码置剪辑板，你可粘贴保存起来！";
    windows.message_box(shown);
    wipe_text(shown);
    copy_secret_to_clipboard(typed);
    wipe_text(typed);
    windows.load_window(kLoginWindow);
    windows.destroy_window(kSetupWindow);
}

}  // namespace

bool write_empty_store(const std::string& path) {
    const std::vector<db::FieldSpec> fields = {
        {"ID", db::FieldType::kInt, 0},      {"平台", db::FieldType::kText, 255}, {"账号", db::FieldType::kText, 255},
        {"密码", db::FieldType::kText, 255}, {"网址", db::FieldType::kText, 255}, {"备注", db::FieldType::kText, 255},
    };
    // A fixed stamp and serial keep every empty store byte-identical.
    return db::create_database(path, fields, db::CreateOptions{44474.76592592592, 5});
}

void run_startup(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    if (platform::read_setting(settings_path(), "reg", "reg") != "1") {
        windows.load_window(kSetupWindow);
        return;
    }
    const std::string path = store_path();
    if (platform::is_existing_file(path)) {
        windows.load_window(kLoginWindow);
        return;
    }
    {
        const auto store_lock = lock_store();
        write_empty_store(path);
    }
    windows.message_box("发现数据库被删除，需重新设置密码");
    windows.load_window(kSetupWindow);
}

void bind_password_setup(AppState& state) {
    state.windows.bind(kSetupWindow, "按钮_完成设置", ui::Event::kClicked,
                       [&state](int, int) { complete_setup(state); });
}

}  // namespace quillet::app
