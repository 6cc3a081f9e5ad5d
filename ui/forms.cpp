#include "ui/forms.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <string>

#include "platform/text_codec.h"

namespace quillet::ui {
namespace {

using K = ControlKind;

// Buttons, edit boxes, check boxes and the list are tab stops; the rest are not.
constexpr ControlDef tab(ControlDef def) {
    def.tab_stop = true;
    return def;
}

constexpr EditProps kCentred{.centred = true};
constexpr EditProps kMasked{.password = true, .centred = true, .border = Border::kThinLine};

// Main window.
constexpr std::array kRecordColumns{
    ListColumn{"ID", 0},    ListColumn{"平台", 100}, ListColumn{"账号", 120},
    ListColumn{"密码", 110}, ListColumn{"网址", 90},  ListColumn{"备注", 0},
};

constexpr std::array kMainControls{
    ControlDef{.kind = K::kGroupBox,
               .name = forms::main::data_group,
               .rect = {5, 0, 448, 352},
               .caption = "数据 - 右键表单编辑数据"},
    tab({.kind = K::kList,
         .name = forms::main::list,
         .parent = forms::main::data_group,
         .rect = {8, 21, 432, 195},
         .list = {.columns = kRecordColumns}}),
    ControlDef{.kind = K::kGroupBox,
               .name = forms::main::remark_group,
               .parent = forms::main::data_group,
               .rect = {8, 224, 432, 88},
               .caption = "备注详情"},
    tab({.kind = K::kEditBox,
         .name = forms::main::remark,
         .parent = forms::main::remark_group,
         .rect = {8, 16, 416, 64},
         .edit = {.multi_line = true, .read_only = true, .border = Border::kThinLine}}),
    tab({.kind = K::kButton,
         .name = forms::main::log_out,
         .parent = forms::main::data_group,
         .rect = {8, 320, 72, 24},
         .caption = "注 销"}),
    tab({.kind = K::kButton,
         .name = forms::main::open_ftp,
         .parent = forms::main::data_group,
         .rect = {175, 320, 80, 24},
         .caption = "FTP"}),
    tab({.kind = K::kButton,
         .name = forms::main::quit,
         .parent = forms::main::data_group,
         .rect = {351, 320, 88, 24},
         .caption = "退 出"}),
    ControlDef{.kind = K::kTransparentLabel,
               .name = forms::main::update_notice,
               .parent = forms::main::data_group,
               .rect = {15, 211, 124, 24},
               .visible = false,
               .caption = "发现新版本，点击下载",
               .text_color = 0xFF0000},
    ControlDef{.kind = K::kLabel,
               .name = forms::main::hot_keys,
               .parent = forms::main::data_group,
               .rect = {32, 248, 16, 24},
               .visible = false},
    ControlDef{.kind = K::kTimer, .name = forms::main::idle_timer, .parent = forms::main::remark_group, .interval = 0},
};

constexpr std::array kMainMenu{
    MenuItemDef{forms::main::menu::root, 0, false},
    MenuItemDef{forms::main::menu::add, 1},
    MenuItemDef{forms::main::menu::modify, 1},
    MenuItemDef{forms::main::menu::remove, 1},
    MenuItemDef{forms::main::menu::search, 1},
    MenuItemDef{forms::main::menu::search_platform, 2},
    MenuItemDef{forms::main::menu::search_address, 2},
    MenuItemDef{forms::main::menu::copy, 1},
    MenuItemDef{forms::main::menu::copy_account, 2},
    MenuItemDef{forms::main::menu::copy_password, 2},
    MenuItemDef{forms::main::menu::copy_account_and_password, 2},
    MenuItemDef{forms::main::menu::copy_all, 2},
    MenuItemDef{forms::main::menu::hot_key_hint, 2},
    MenuItemDef{forms::main::menu::password, 1},
    MenuItemDef{forms::main::menu::reveal_password, 2},
    MenuItemDef{forms::main::menu::visit, 1},
    MenuItemDef{forms::main::menu::refresh, 1},
};

// Login window.
constexpr std::array kLoginControls{
    ControlDef{.kind = K::kGroupBox, .name = forms::login::group, .rect = {8, 8, 210, 80}, .caption = "login"},
    tab({.kind = K::kEditBox,
         .name = forms::login::password,
         .parent = forms::login::group,
         .rect = {9, 19, 192, 24},
         .edit = kMasked}),
    tab({.kind = K::kButton,
         .name = forms::login::log_in,
         .parent = forms::login::group,
         .rect = {9, 48, 192, 24},
         .caption = "登 录"}),
    ControlDef{.kind = K::kBalloonTip, .name = forms::login::tip, .rect = {8, 8, 104, 40}, .visible = false},
};

// Password setup window.
constexpr std::array kSetupControls{
    ControlDef{.kind = K::kGroupBox,
               .name = forms::setup::group,
               .rect = {8, 8, 210, 80},
               .caption = "请设置登录密码/同步FTP"},
    tab({.kind = K::kEditBox,
         .name = forms::setup::password,
         .parent = forms::setup::group,
         .rect = {9, 19, 192, 24},
         .edit = {.password = true, .centred = true, .max_length = 16, .border = Border::kThinLine}}),
    tab({.kind = K::kButton,
         .name = forms::setup::finish,
         .parent = forms::setup::group,
         .rect = {9, 48, 192, 24},
         .caption = "完成设置"}),
    ControlDef{.kind = K::kBalloonTip,
               .name = forms::setup::tip,
               .parent = forms::setup::group,
               .rect = {8, 0, 104, 40},
               .visible = false},
};

// FTP window.
constexpr std::array kFtpControls{
    ControlDef{.kind = K::kGroupBox, .name = forms::ftp::status_group, .rect = {8, 8, 232, 240}, .caption = "FTP"},
    ControlDef{.kind = K::kGroupBox,
               .name = forms::ftp::settings_group,
               .parent = forms::ftp::status_group,
               .rect = {8, 16, 216, 184},
               .caption = "设置"},
    ControlDef{.kind = K::kLabel,
               .name = forms::ftp::labels,
               .parent = forms::ftp::settings_group,
               .rect = {16, 24, 192, 152},
               .caption = "地址/IP：\r\n\r\n端口：\r\n\r\n账号：\r\n\r\n密码：\r\n\r\n存储路径："},
    tab({.kind = K::kEditBox,
         .name = forms::ftp::address,
         .parent = forms::ftp::settings_group,
         .rect = {72, 24, 128, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox,
         .name = forms::ftp::port,
         .parent = forms::ftp::settings_group,
         .rect = {56, 48, 40, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox,
         .name = forms::ftp::account,
         .parent = forms::ftp::settings_group,
         .rect = {56, 72, 144, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox,
         .name = forms::ftp::password,
         .parent = forms::ftp::settings_group,
         .rect = {56, 96, 144, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox,
         .name = forms::ftp::path,
         .parent = forms::ftp::settings_group,
         .rect = {72, 120, 128, 56},
         .edit = {.multi_line = true}}),
    tab({.kind = K::kButton,
         .name = forms::ftp::upload,
         .parent = forms::ftp::status_group,
         .rect = {4, 208, 72, 24},
         .disabled = true,
         .caption = "上传"}),
    tab({.kind = K::kButton,
         .name = forms::ftp::connect,
         .parent = forms::ftp::status_group,
         .rect = {80, 208, 72, 24},
         .caption = "连接"}),
    tab({.kind = K::kButton,
         .name = forms::ftp::download,
         .parent = forms::ftp::status_group,
         .rect = {156, 208, 72, 24},
         .disabled = true,
         .caption = "下载"}),
};

// Record window.
constexpr std::array kRecordControls{
    ControlDef{.kind = K::kGroupBox, .name = forms::record::group, .rect = {8, 8, 352, 176}, .caption = "新增/修改"},
    ControlDef{.kind = K::kLabel,
               .name = forms::record::labels,
               .parent = forms::record::group,
               .rect = {8, 25, 328, 104},
               .caption = "平台:              账号:              密码:\r\n\r\n网址:\r\n\r\n备注:"},
    tab({.kind = K::kEditBox,
         .name = forms::record::platform,
         .parent = forms::record::group,
         .rect = {40, 24, 72, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox,
         .name = forms::record::account,
         .parent = forms::record::group,
         .rect = {152, 24, 72, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox,
         .name = forms::record::password,
         .parent = forms::record::group,
         .rect = {264, 24, 72, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox, .name = forms::record::address, .rect = {48, 56, 296, 16}, .edit = kCentred}),
    tab({.kind = K::kEditBox,
         .name = forms::record::remark,
         .parent = forms::record::group,
         .rect = {40, 72, 296, 64},
         .edit = {.multi_line = true}}),
    tab({.kind = K::kButton,
         .name = forms::record::confirm,
         .parent = forms::record::group,
         .rect = {40, 144, 96, 24},
         .caption = "确认"}),
    tab({.kind = K::kButton,
         .name = forms::record::random_password,
         .parent = forms::record::group,
         .rect = {240, 144, 96, 24},
         .caption = "随机生成密码"}),
};

// Generator window.
constexpr std::array kGeneratorControls{
    ControlDef{
        .kind = K::kGroupBox, .name = forms::generator::group, .rect = {8, 8, 152, 208}, .caption = "随机生成密码"},
    ControlDef{.kind = K::kLabel,
               .name = forms::generator::labels,
               .parent = forms::generator::group,
               .rect = {8, 16, 136, 160},
               .caption = "密码位数:\r\n\r\n特殊符号:\r\n\r\n大小英文:\r\n\r\n生成结果:"},
    tab({.kind = K::kEditBox,
         .name = forms::generator::length,
         .parent = forms::generator::group,
         .rect = {64, 15, 80, 16},
         .edit = {.digits_only = true}}),
    tab({.kind = K::kCheckBox,
         .name = forms::generator::symbols,
         .parent = forms::generator::group,
         .rect = {64, 39, 72, 16},
         .caption = "特殊符号"}),
    tab({.kind = K::kCheckBox, .name = forms::generator::mixed_case, .rect = {72, 72, 72, 16}, .caption = "大小英文"}),
    tab({.kind = K::kEditBox,
         .name = forms::generator::result,
         .parent = forms::generator::group,
         .rect = {64, 88, 80, 88},
         .edit = {.multi_line = true}}),
    tab({.kind = K::kButton,
         .name = forms::generator::generate,
         .parent = forms::generator::group,
         .rect = {80, 180, 64, 24},
         .caption = "生成"}),
    tab({.kind = K::kButton, .name = forms::generator::export_result, .rect = {13, 188, 64, 24}, .caption = "导出"}),
    ControlDef{.kind = K::kBalloonTip,
               .name = forms::generator::tip,
               .parent = forms::generator::group,
               .rect = {16, 120, 64, 32},
               .visible = false},
};

constexpr std::array kForms{
    FormDef{.name = forms::main::window,
            .caption = "Quillet",
            .width = 463,
            .height = 384,
            .controls = kMainControls,
            .menu = kMainMenu},
    FormDef{.name = forms::login::window, .caption = "Login", .width = 229, .height = 125, .controls = kLoginControls},
    FormDef{
        .name = forms::setup::window, .caption = "Registered", .width = 231, .height = 122, .controls = kSetupControls},
    FormDef{.name = forms::ftp::window, .caption = "FTP同步", .width = 253, .height = 284, .controls = kFtpControls},
    FormDef{.name = forms::record::window, .caption = "New", .width = 373, .height = 221, .controls = kRecordControls},
    FormDef{.name = forms::generator::window,
            .caption = "password",
            .width = 171,
            .height = 248,
            .controls = kGeneratorControls},
};

}  // namespace

std::span<const FormDef> all_forms() { return kForms; }

const FormDef* find_form(std::string_view window) {
    auto it = std::find_if(kForms.begin(), kForms.end(), [&](const FormDef& f) { return f.name == window; });
    return it == kForms.end() ? nullptr : &*it;
}

const ControlDef* find_control(const FormDef& form, std::string_view control) {
    auto it = std::find_if(form.controls.begin(), form.controls.end(),
                           [&](const ControlDef& c) { return c.name == control; });
    return it == form.controls.end() ? nullptr : &*it;
}

int menu_item_index(const FormDef& form, std::string_view caption) {
    for (std::size_t i = 0; i < form.menu.size(); ++i) {
        if (form.menu[i].caption == caption) return static_cast<int>(i);
    }
    return -1;
}

const MenuItemDef* find_menu_item(const FormDef& form, std::string_view caption) {
    int index = menu_item_index(form, caption);
    return index < 0 ? nullptr : &form.menu[index];
}

Size client_size(const FormDef& form, Size frame) {
    Size size{form.width - frame.width, form.height - frame.height};
    for (const ControlDef& control : form.controls) {
        if (!control.parent.empty() || control.kind == ControlKind::kTimer) continue;
        size.width = std::max(size.width, control.rect.left + control.rect.width);
        size.height = std::max(size.height, control.rect.top + control.rect.height);
    }
    return size;
}

namespace forms {
namespace {

// A name no form knows comes from the code, never from a file or a user: stop a debug build
// right there, and have a release build say which name it was instead of doing nothing.
bool report_unknown(std::string_view what, std::string_view name, std::string_view window = {}) {
    std::string message = "quillet: unknown " + std::string(what) + " \"" + platform::gbk_to_utf8(name) + "\"";
    if (!window.empty()) message += " in window \"" + platform::gbk_to_utf8(window) + "\"";
    std::fputs((message + "\n").c_str(), stderr);
    assert(!"unknown window, control or menu item name");
    return false;
}

}  // namespace

bool check_control(std::string_view window, std::string_view control) {
    const FormDef* form = find_form(window);
    if (form == nullptr) return report_unknown("window", window);
    if (control.empty() || find_control(*form, control) != nullptr) return true;
    return report_unknown("control", control, window);
}

bool check_menu_item(std::string_view window, std::string_view caption) {
    const FormDef* form = find_form(window);
    if (form == nullptr) return report_unknown("window", window);
    if (find_menu_item(*form, caption) != nullptr) return true;
    return report_unknown("menu item", caption, window);
}

}  // namespace forms

}  // namespace quillet::ui
