#include "app/recovery_notice.h"

namespace quillet::app {

void show_recovery_code(ui::WindowLayer& windows, const std::string& code) {
    windows.message_box("你的恢复码为：\r\n\r\n" + code +
                        "\r\n\r\n请把恢复码抄写下来，保存在本电脑以外的安全地方，本程序不会再次显示它。\r\n"
                        "忘记登录密码时，凭恢复码可以设置新的登录密码（quillet-cli recover）。");
}

}  // namespace quillet::app
