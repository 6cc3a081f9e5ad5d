#include "app/data_location.h"

#include "platform/data_directory.h"
#include "platform/file.h"
#include "platform/program_dir.h"

namespace quillet::app {

std::string earlier_install_directory(const std::string& home) {
    return home.empty() ? std::string() : home + "/.local/opt/quillet";
}

std::string earlier_data_notice(const std::string& earlier, const std::string& data_directory) {
    if (earlier.empty() || earlier == data_directory) return {};
    if (!platform::is_existing_file(earlier + "/data.ini")) return {};
    if (platform::is_existing_file(data_directory + "/data.ini")) return {};
    return "在 " + earlier + " 中找到了以前安装的 Quillet 的数据。\r\n" + "现在的 Quillet 把数据保存在 " +
           data_directory + "。\r\n要继续使用原来的数据，请先关闭本程序，把 " + earlier +
           " 中的 data.ini、data.edb、ftp.ini 和以 data 开头的备份文件移到 " + data_directory +
           "，再重新打开本程序。\r\n例如在终端中运行：\r\nmv " + earlier + "/data* " + earlier + "/ftp.ini " +
           data_directory + "/";
}

void settle_data_location(ui::WindowLayer& windows) {
    std::string chosen;
    if (!platform::settle_data_directory(&chosen)) {
        windows.message_box("无法创建数据目录 " + chosen + "，密码和记录将无法保存。");
        return;
    }
    const std::string notice =
        earlier_data_notice(earlier_install_directory(platform::home_directory()), platform::program_directory());
    if (!notice.empty()) windows.message_box(notice);
}

}  // namespace quillet::app
