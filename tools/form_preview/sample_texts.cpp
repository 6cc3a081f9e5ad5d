#include "tools/form_preview/sample_texts.h"

namespace quillet::form_preview {

using namespace quillet::ui;

void fill_with_samples(WindowLayer& windows, std::string_view name) {
    if (name == kMainWindow) {
        windows.list_append_rows(name, "超级列表框1",
                                 {{"1", "网易邮箱", "zhang.san", "5F3A9C0E77B2", "mail.163.com", "备注"},
                                  {"2", "工商银行", "张三", "A0B1C2D3E4F5", "icbc.com.cn", ""}});
        windows.list_select_row(name, "超级列表框1", 0);
        windows.set_text(name, "编辑框_备注详情", "备注详情的内容");
        windows.set_visible(name, "透明标签1", true);
    } else if (name == kFtpWindow) {
        windows.set_text(name, "编辑框_ftp地址", "192.168.1.10");
        windows.set_text(name, "编辑框_ftp端口", "21");
        windows.set_text(name, "编辑框_ftp账号", "zhangsan");
        windows.set_text(name, "编辑框_ftp密码", "mima123");
        windows.set_text(name, "编辑框_ftp路径", "/backup/quillet");
    } else if (name == kRecordWindow) {
        windows.set_text(name, "编辑框_平台", "网易邮箱");
        windows.set_text(name, "编辑框_账号", "zhang.san");
        windows.set_text(name, "编辑框_密码", "Ab3#kL9q");
        windows.set_text(name, "编辑框_网址", "https://mail.163.com");
        windows.set_text(name, "编辑框_备注", "工作邮箱");
    } else if (name == kGeneratorWindow) {
        windows.set_text(name, "编辑框_位数", "12");
        windows.set_text(name, "编辑框_结果", "Ab3#kL9qXz1!");
    } else {
        windows.set_text(name, name == kLoginWindow ? "编辑框_登录密码" : "编辑框_设置登录密码", "secret");
    }
}

void fill_with_webdav_samples(WindowLayer& windows) {
    windows.set_text(kFtpWindow, "编辑框_ftp地址", "https://cloud.example.com/remote.php/dav/files/zhangsan/");
    windows.set_text(kFtpWindow, "编辑框_ftp端口", "");
    windows.set_text(kFtpWindow, "编辑框_ftp账号", "zhangsan");
    windows.set_text(kFtpWindow, "编辑框_ftp密码", "app-password");
    windows.set_text(kFtpWindow, "编辑框_ftp路径", "quillet");
    windows.set_text(kFtpWindow, "分组框_FTP", "WebDAV - 连接成功");
    for (const char* button : {"按钮_ftp上传", "按钮_ftp_下载"}) windows.set_enabled(kFtpWindow, button, true);
}

}  // namespace quillet::form_preview
