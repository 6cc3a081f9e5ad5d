#include "ui/forms.h"

#include <algorithm>
#include <array>

#include "ui/window_layer.h"

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
    ControlDef{.kind = K::kGroupBox, .name = "分组框_数据", .rect = {5, 0, 448, 352},
               .caption = "数据 - 右键表单编辑数据"},
    tab({.kind = K::kList, .name = "超级列表框1", .parent = "分组框_数据", .rect = {8, 21, 432, 195},
         .list = {.columns = kRecordColumns}}),
    ControlDef{.kind = K::kGroupBox, .name = "分组框_备注详情", .parent = "分组框_数据", .rect = {8, 224, 432, 88},
               .caption = "备注详情"},
    tab({.kind = K::kEditBox, .name = "编辑框_备注详情", .parent = "分组框_备注详情", .rect = {8, 16, 416, 64},
         .edit = {.multi_line = true, .read_only = true, .border = Border::kThinLine}}),
    tab({.kind = K::kButton, .name = "按钮_注销", .parent = "分组框_数据", .rect = {8, 320, 72, 24},
         .caption = "注 销"}),
    tab({.kind = K::kButton, .name = "按钮_FTP", .parent = "分组框_数据", .rect = {175, 320, 80, 24},
         .caption = "FTP"}),
    tab({.kind = K::kButton, .name = "按钮_退出", .parent = "分组框_数据", .rect = {351, 320, 88, 24},
         .caption = "退 出"}),
    ControlDef{.kind = K::kTransparentLabel, .name = "透明标签1", .parent = "分组框_数据", .rect = {15, 211, 124, 24},
               .visible = false, .caption = "发现新版本，点击下载", .text_color = 0xFF0000},
    ControlDef{.kind = K::kLabel, .name = "标签1", .parent = "分组框_数据", .rect = {32, 248, 16, 24},
               .visible = false},
    ControlDef{.kind = K::kTimer, .name = "时钟1", .parent = "分组框_备注详情", .interval = 0},
};

constexpr std::array kMainMenu{
    MenuItemDef{"菜单", 0, false},
    MenuItemDef{"新增", 1},
    MenuItemDef{"修改", 1},
    MenuItemDef{"删除", 1},
    MenuItemDef{"查询", 1},
    MenuItemDef{"按平台", 2},
    MenuItemDef{"按网址", 2},
    MenuItemDef{"复制", 1},
    MenuItemDef{"复制账号", 2},
    MenuItemDef{"复制密码", 2},
    MenuItemDef{"账号+密码", 2},
    MenuItemDef{"复制所有", 2},
    MenuItemDef{"选中账号密码后，F1自动输入账号,F2自动输入密码,F3自动输入账号密码", 2},
    MenuItemDef{"密码", 1},
    MenuItemDef{"显示真实密码", 2},
    MenuItemDef{"访问", 1},
    MenuItemDef{"刷新", 1},
};

// Login window.
constexpr std::array kLoginControls{
    ControlDef{.kind = K::kGroupBox, .name = "分组框_login", .rect = {8, 8, 210, 80}, .caption = "login"},
    tab({.kind = K::kEditBox, .name = "编辑框_登录密码", .parent = "分组框_login", .rect = {9, 19, 192, 24},
         .edit = kMasked}),
    tab({.kind = K::kButton, .name = "按钮_登录", .parent = "分组框_login", .rect = {9, 48, 192, 24},
         .caption = "登 录"}),
    ControlDef{.kind = K::kBalloonTip, .name = "气球提示框1", .rect = {8, 8, 104, 40}, .visible = false},
};

// Password setup window.
constexpr std::array kSetupControls{
    ControlDef{.kind = K::kGroupBox, .name = "分组框_设置登录密码", .rect = {8, 8, 210, 80},
               .caption = "请设置登录密码/同步FTP"},
    tab({.kind = K::kEditBox, .name = "编辑框_设置登录密码", .parent = "分组框_设置登录密码", .rect = {9, 19, 192, 24},
         .edit = {.password = true, .centred = true, .max_length = 16, .border = Border::kThinLine}}),
    tab({.kind = K::kButton, .name = "按钮_完成设置", .parent = "分组框_设置登录密码", .rect = {9, 48, 192, 24},
         .caption = "完成设置"}),
    ControlDef{.kind = K::kBalloonTip, .name = "气球提示框1", .parent = "分组框_设置登录密码", .rect = {8, 0, 104, 40},
               .visible = false},
};

// FTP window.
constexpr std::array kFtpControls{
    ControlDef{.kind = K::kGroupBox, .name = "分组框_FTP", .rect = {8, 8, 232, 240}, .caption = "FTP"},
    ControlDef{.kind = K::kGroupBox, .name = "分组框2", .parent = "分组框_FTP", .rect = {8, 16, 216, 184},
               .caption = "设置"},
    ControlDef{.kind = K::kLabel, .name = "标签2", .parent = "分组框2", .rect = {16, 24, 192, 152},
               .caption = "地址/IP：\r\n\r\n端口：\r\n\r\n账号：\r\n\r\n密码：\r\n\r\n存储路径："},
    tab({.kind = K::kEditBox, .name = "编辑框_ftp地址", .parent = "分组框2", .rect = {72, 24, 128, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox, .name = "编辑框_ftp端口", .parent = "分组框2", .rect = {56, 48, 40, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox, .name = "编辑框_ftp账号", .parent = "分组框2", .rect = {56, 72, 144, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox, .name = "编辑框_ftp密码", .parent = "分组框2", .rect = {56, 96, 144, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox, .name = "编辑框_ftp路径", .parent = "分组框2", .rect = {72, 120, 128, 56},
         .edit = {.multi_line = true}}),
    tab({.kind = K::kButton, .name = "按钮_ftp上传", .parent = "分组框_FTP", .rect = {4, 208, 72, 24},
         .disabled = true, .caption = "上传"}),
    tab({.kind = K::kButton, .name = "按钮_ftp_连接", .parent = "分组框_FTP", .rect = {80, 208, 72, 24},
         .caption = "连接"}),
    tab({.kind = K::kButton, .name = "按钮_ftp_下载", .parent = "分组框_FTP", .rect = {156, 208, 72, 24},
         .disabled = true, .caption = "下载"}),
};

// Record window.
constexpr std::array kRecordControls{
    ControlDef{.kind = K::kGroupBox, .name = "分组框_增修界面", .rect = {8, 8, 352, 176}, .caption = "新增/修改"},
    ControlDef{.kind = K::kLabel, .name = "标签1", .parent = "分组框_增修界面", .rect = {8, 25, 328, 104},
               .caption = "平台:              账号:              密码:\r\n\r\n网址:\r\n\r\n备注:"},
    tab({.kind = K::kEditBox, .name = "编辑框_平台", .parent = "分组框_增修界面", .rect = {40, 24, 72, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox, .name = "编辑框_账号", .parent = "分组框_增修界面", .rect = {152, 24, 72, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox, .name = "编辑框_密码", .parent = "分组框_增修界面", .rect = {264, 24, 72, 16},
         .edit = kCentred}),
    tab({.kind = K::kEditBox, .name = "编辑框_网址", .rect = {48, 56, 296, 16}, .edit = kCentred}),
    tab({.kind = K::kEditBox, .name = "编辑框_备注", .parent = "分组框_增修界面", .rect = {40, 72, 296, 64},
         .edit = {.multi_line = true}}),
    tab({.kind = K::kButton, .name = "按钮_确认", .parent = "分组框_增修界面", .rect = {40, 144, 96, 24},
         .caption = "确认"}),
    tab({.kind = K::kButton, .name = "按钮_随机密码", .parent = "分组框_增修界面", .rect = {240, 144, 96, 24},
         .caption = "随机生成密码"}),
};

// Generator window.
constexpr std::array kGeneratorControls{
    ControlDef{.kind = K::kGroupBox, .name = "分组框1", .rect = {8, 8, 152, 208}, .caption = "随机生成密码"},
    ControlDef{.kind = K::kLabel, .name = "标签1", .parent = "分组框1", .rect = {8, 16, 136, 160},
               .caption = "密码位数:\r\n\r\n特殊符号:\r\n\r\n大小英文:\r\n\r\n生成结果:"},
    tab({.kind = K::kEditBox, .name = "编辑框_位数", .parent = "分组框1", .rect = {64, 15, 80, 16},
         .edit = {.digits_only = true}}),
    tab({.kind = K::kCheckBox, .name = "选择框_符号", .parent = "分组框1", .rect = {64, 39, 72, 16},
         .caption = "特殊符号"}),
    tab({.kind = K::kCheckBox, .name = "选择框_大小英文", .rect = {72, 72, 72, 16}, .caption = "大小英文"}),
    tab({.kind = K::kEditBox, .name = "编辑框_结果", .parent = "分组框1", .rect = {64, 88, 80, 88},
         .edit = {.multi_line = true}}),
    tab({.kind = K::kButton, .name = "按钮_生成", .parent = "分组框1", .rect = {80, 180, 64, 24},
         .caption = "生成"}),
    tab({.kind = K::kButton, .name = "按钮_导出", .rect = {13, 188, 64, 24}, .caption = "导出"}),
    ControlDef{.kind = K::kBalloonTip, .name = "气球提示框1", .parent = "分组框1", .rect = {16, 120, 64, 32},
               .visible = false},
};

constexpr std::array kForms{
    FormDef{.name = kMainWindow, .caption = "Quillet", .width = 463, .height = 384, .controls = kMainControls,
            .menu = kMainMenu},
    FormDef{.name = kLoginWindow, .caption = "Login", .width = 229, .height = 125, .controls = kLoginControls},
    FormDef{.name = kSetupWindow, .caption = "Registered", .width = 231, .height = 122, .controls = kSetupControls},
    FormDef{.name = kFtpWindow, .caption = "FTP同步", .width = 253, .height = 284, .controls = kFtpControls},
    FormDef{.name = kRecordWindow, .caption = "New", .width = 373, .height = 221, .controls = kRecordControls},
    FormDef{.name = kGeneratorWindow, .caption = "password", .width = 171, .height = 248,
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

}  // namespace quillet::ui
