#include "tools/form_preview/sample_texts.h"

#include "ui/forms.h"

namespace quillet::form_preview {

using namespace quillet::ui;

void fill_with_samples(WindowLayer& windows, std::string_view name) {
    if (name == forms::main::window) {
        windows.list_append_rows(name, forms::main::list,
                                 {{"1", "网易邮箱", "zhang.san", "5F3A9C0E77B2", "mail.163.com", "备注"},
                                  {"2", "工商银行", "张三", "A0B1C2D3E4F5", "icbc.com.cn", ""}});
        windows.list_select_row(name, forms::main::list, 0);
        windows.set_text(name, forms::main::remark, "备注详情的内容");
        windows.set_visible(name, forms::main::update_notice, true);
    } else if (name == forms::ftp::window) {
        windows.set_text(name, forms::ftp::address, "192.168.1.10");
        windows.set_text(name, forms::ftp::port, "21");
        windows.set_text(name, forms::ftp::account, "zhangsan");
        windows.set_text(name, forms::ftp::password, "mima123");
        windows.set_text(name, forms::ftp::path, "/backup/quillet");
    } else if (name == forms::record::window) {
        windows.set_text(name, forms::record::platform, "网易邮箱");
        windows.set_text(name, forms::record::account, "zhang.san");
        windows.set_text(name, forms::record::password, "Ab3#kL9q");
        windows.set_text(name, forms::record::address, "https://mail.163.com");
        windows.set_text(name, forms::record::remark, "工作邮箱");
    } else if (name == forms::generator::window) {
        windows.set_text(name, forms::generator::length, "12");
        windows.set_text(name, forms::generator::result, "Ab3#kL9qXz1!");
    } else {
        windows.set_text(name, name == forms::login::window ? forms::login::password : forms::setup::password,
                         "secret");
    }
}

void fill_with_webdav_samples(WindowLayer& windows) {
    windows.set_text(forms::ftp::window, forms::ftp::address,
                     "https://cloud.example.com/remote.php/dav/files/zhangsan/");
    windows.set_text(forms::ftp::window, forms::ftp::port, "");
    windows.set_text(forms::ftp::window, forms::ftp::account, "zhangsan");
    windows.set_text(forms::ftp::window, forms::ftp::password, "app-password");
    windows.set_text(forms::ftp::window, forms::ftp::path, "quillet");
    windows.set_text(forms::ftp::window, forms::ftp::status_group, "WebDAV - 连接成功");
    for (std::string_view button : {forms::ftp::upload, forms::ftp::download})
        windows.set_enabled(forms::ftp::window, button, true);
}

}  // namespace quillet::form_preview
