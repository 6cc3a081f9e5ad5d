// Form definitions of the six windows, held as data: window properties, then the
// controls with kind, name, parent, geometry, flags, caption and kind-specific
// properties, list columns and the menu tree. The window layer builds live windows from
// these; nothing here knows a toolkit. Texts are GBK.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quillet::ui {

// One constant per window and control name, for the tables below and for every caller: a
// misspelt name is then a compile error instead of a call that silently does nothing.
namespace forms {

namespace main {
inline constexpr std::string_view window = "main";
inline constexpr std::string_view data_group = "分组框_数据";
inline constexpr std::string_view list = "超级列表框1";
inline constexpr std::string_view remark_group = "分组框_备注详情";
inline constexpr std::string_view remark = "编辑框_备注详情";
inline constexpr std::string_view log_out = "按钮_注销";
inline constexpr std::string_view open_ftp = "按钮_FTP";
inline constexpr std::string_view quit = "按钮_退出";
inline constexpr std::string_view update_notice = "透明标签1";
inline constexpr std::string_view hot_keys = "标签1";  // hidden; receives the hot-key feedback
inline constexpr std::string_view idle_timer = "时钟1";

// Items of the main window's menu, addressed by caption.
namespace menu {
inline constexpr std::string_view root = "菜单";
inline constexpr std::string_view add = "新增";
inline constexpr std::string_view modify = "修改";
inline constexpr std::string_view remove = "删除";
inline constexpr std::string_view search = "查询";
inline constexpr std::string_view search_platform = "按平台";
inline constexpr std::string_view search_address = "按网址";
inline constexpr std::string_view copy = "复制";
inline constexpr std::string_view copy_account = "复制账号";
inline constexpr std::string_view copy_password = "复制密码";
inline constexpr std::string_view copy_account_and_password = "账号+密码";
inline constexpr std::string_view copy_all = "复制所有";
inline constexpr std::string_view hot_key_hint = "选中账号密码后，F1自动输入账号,F2自动输入密码,F3自动输入账号密码";
inline constexpr std::string_view password = "密码";
inline constexpr std::string_view reveal_password = "显示真实密码";
inline constexpr std::string_view visit = "访问";
inline constexpr std::string_view refresh = "刷新";
}  // namespace menu
}  // namespace main

namespace login {
inline constexpr std::string_view window = "login";
inline constexpr std::string_view group = "分组框_login";
inline constexpr std::string_view password = "编辑框_登录密码";
inline constexpr std::string_view log_in = "按钮_登录";
inline constexpr std::string_view tip = "气球提示框1";
}  // namespace login

namespace setup {
inline constexpr std::string_view window = "setup";
inline constexpr std::string_view group = "分组框_设置登录密码";
inline constexpr std::string_view password = "编辑框_设置登录密码";
inline constexpr std::string_view finish = "按钮_完成设置";
inline constexpr std::string_view tip = "气球提示框1";
}  // namespace setup

namespace ftp {
inline constexpr std::string_view window = "ftp";
inline constexpr std::string_view status_group = "分组框_FTP";  // its caption tells the transfer state
inline constexpr std::string_view settings_group = "分组框2";
inline constexpr std::string_view labels = "标签2";
inline constexpr std::string_view address = "编辑框_ftp地址";
inline constexpr std::string_view port = "编辑框_ftp端口";
inline constexpr std::string_view account = "编辑框_ftp账号";
inline constexpr std::string_view password = "编辑框_ftp密码";
inline constexpr std::string_view path = "编辑框_ftp路径";
inline constexpr std::string_view upload = "按钮_ftp上传";
inline constexpr std::string_view connect = "按钮_ftp_连接";
inline constexpr std::string_view download = "按钮_ftp_下载";
}  // namespace ftp

namespace record {
inline constexpr std::string_view window = "record";
inline constexpr std::string_view group = "分组框_增修界面";
inline constexpr std::string_view labels = "标签1";
inline constexpr std::string_view platform = "编辑框_平台";
inline constexpr std::string_view account = "编辑框_账号";
inline constexpr std::string_view password = "编辑框_密码";
inline constexpr std::string_view address = "编辑框_网址";
inline constexpr std::string_view remark = "编辑框_备注";
inline constexpr std::string_view confirm = "按钮_确认";
inline constexpr std::string_view random_password = "按钮_随机密码";
}  // namespace record

namespace generator {
inline constexpr std::string_view window = "generator";
inline constexpr std::string_view group = "分组框1";
inline constexpr std::string_view labels = "标签1";
inline constexpr std::string_view length = "编辑框_位数";
inline constexpr std::string_view symbols = "选择框_符号";
inline constexpr std::string_view mixed_case = "选择框_大小英文";
inline constexpr std::string_view result = "编辑框_结果";
inline constexpr std::string_view generate = "按钮_生成";
inline constexpr std::string_view export_result = "按钮_导出";
inline constexpr std::string_view tip = "气球提示框1";
}  // namespace generator

// True when `window` is a form and `control` one of its controls ("" = the window itself).
// An unknown name is a program error: it asserts in a debug build; a release build writes
// both names to stderr and the caller goes on as for a window that is not open.
bool check_control(std::string_view window, std::string_view control);
// The same for a menu item of `window`, by caption.
bool check_menu_item(std::string_view window, std::string_view caption);

}  // namespace forms

enum class ControlKind { kLabel, kTransparentLabel, kButton, kGroupBox, kEditBox, kCheckBox, kList, kTimer, kBalloonTip };

// Border styles of edit boxes and the list; only these two are used.
enum class Border { kNone = 0, kSunken = 1, kThinLine = 5 };

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct EditProps {
    bool multi_line = false;
    bool read_only = false;
    bool password = false;     // every character drawn as "*"
    bool digits_only = false;  // typed characters other than 0-9 and "-" are refused
    bool centred = false;
    int max_length = 0;  // characters; 0 = no limit
    Border border = Border::kSunken;
};

struct ListColumn {
    std::string_view title;
    int width = 0;  // 0 hides the column; its cells still hold data
};

struct ListProps {
    bool full_row_select = true;
    bool single_select = true;
    bool grid_lines = false;
    Border border = Border::kThinLine;
    std::span<const ListColumn> columns;
};

struct ControlDef {
    ControlKind kind = ControlKind::kLabel;
    std::string_view name;
    std::string_view parent;  // "" = the window
    Rect rect;
    bool visible = true;
    bool disabled = false;
    bool tab_stop = false;
    std::string_view caption;  // caption or initial text; lines separated by CR LF
    EditProps edit;
    ListProps list;
    std::uint32_t text_color = 0;  // 0xRRGGBB; transparent label only
    bool checked = false;          // check box
    int interval = 0;              // timer, milliseconds; 0 = stopped
};

struct MenuItemDef {
    std::string_view caption;
    int level = 0;  // 0 = top-level; an item's children follow it one level deeper
    bool visible = true;
    bool disabled = false;
    bool checked = false;
};

struct FormDef {
    std::string_view name;  // forms::main::window, forms::login::window, ...
    std::string_view caption;
    int width = 0;  // outer size in pixels, frame and title bar included
    int height = 0;
    bool resizable = false;
    bool control_box = true;
    bool minimise_box = true;
    bool maximise_box = false;
    bool centred = true;
    bool movable = true;
    bool in_task_bar = true;
    bool always_on_top = false;
    bool modal = false;
    std::span<const ControlDef> controls;  // parents come before their children
    std::span<const MenuItemDef> menu;
};

struct Size {
    int width = 0;
    int height = 0;
};

// The frame of a fixed single-border window with a title bar in the metrics these forms
// were laid out with; used while the window system does not report its own.
inline constexpr Size kNominalFrame{6, 29};

std::span<const FormDef> all_forms();
const FormDef* find_form(std::string_view window);
const ControlDef* find_control(const FormDef& form, std::string_view control);
const MenuItemDef* find_menu_item(const FormDef& form, std::string_view caption);
// Index of the menu item `caption` in form.menu, or -1.
int menu_item_index(const FormDef& form, std::string_view caption);
// Client size for an outer size minus `frame`, grown where needed so that every
// control directly on the window fits.
Size client_size(const FormDef& form, Size frame);

}  // namespace quillet::ui
