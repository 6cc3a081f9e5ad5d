#include "ui/forms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/window_layer.h"

namespace quillet::ui {
namespace {

using K = ControlKind;

struct Expected {
    std::string_view window;
    std::string_view name;
    K kind;
    std::string_view parent;
    Rect rect;
    bool visible;
    bool disabled;
    std::string_view caption;
};

// Written out from the window descriptions, not from the tables under test.
const std::vector<Expected> kExpected = {
    {forms::main::window,
     forms::main::data_group,
     K::kGroupBox,
     "",
     {5, 0, 448, 352},
     true,
     false,
     "数据 - 右键表单编辑数据"},
    {forms::main::window, forms::main::list, K::kList, forms::main::data_group, {8, 21, 432, 195}, true, false, ""},
    {forms::main::window,
     forms::main::remark_group,
     K::kGroupBox,
     forms::main::data_group,
     {8, 224, 432, 88},
     true,
     false,
     "备注详情"},
    {forms::main::window,
     forms::main::remark,
     K::kEditBox,
     forms::main::remark_group,
     {8, 16, 416, 64},
     true,
     false,
     ""},
    {forms::main::window,
     forms::main::log_out,
     K::kButton,
     forms::main::data_group,
     {8, 320, 72, 24},
     true,
     false,
     "注 销"},
    {forms::main::window,
     forms::main::open_ftp,
     K::kButton,
     forms::main::data_group,
     {175, 320, 80, 24},
     true,
     false,
     "FTP"},
    {forms::main::window,
     forms::main::quit,
     K::kButton,
     forms::main::data_group,
     {351, 320, 88, 24},
     true,
     false,
     "退 出"},
    {forms::main::window,
     forms::main::update_notice,
     K::kTransparentLabel,
     forms::main::data_group,
     {15, 211, 124, 24},
     false,
     false,
     "发现新版本，点击下载"},
    {forms::main::window,
     forms::main::hot_keys,
     K::kLabel,
     forms::main::data_group,
     {32, 248, 16, 24},
     false,
     false,
     ""},
    {forms::main::window, forms::main::idle_timer, K::kTimer, forms::main::remark_group, {0, 0, 0, 0}, true, false, ""},
    {forms::login::window, forms::login::group, K::kGroupBox, "", {8, 8, 210, 80}, true, false, "login"},
    {forms::login::window, forms::login::password, K::kEditBox, forms::login::group, {9, 19, 192, 24}, true, false, ""},
    {forms::login::window,
     forms::login::log_in,
     K::kButton,
     forms::login::group,
     {9, 48, 192, 24},
     true,
     false,
     "登 录"},
    {forms::login::window, forms::login::tip, K::kBalloonTip, "", {8, 8, 104, 40}, false, false, ""},
    {forms::setup::window,
     forms::setup::group,
     K::kGroupBox,
     "",
     {8, 8, 210, 80},
     true,
     false,
     "请设置登录密码/同步FTP"},
    {forms::setup::window, forms::setup::password, K::kEditBox, forms::setup::group, {9, 19, 192, 24}, true, false, ""},
    {forms::setup::window,
     forms::setup::finish,
     K::kButton,
     forms::setup::group,
     {9, 48, 192, 24},
     true,
     false,
     "完成设置"},
    {forms::setup::window, forms::setup::tip, K::kBalloonTip, forms::setup::group, {8, 0, 104, 40}, false, false, ""},
    {forms::ftp::window, forms::ftp::status_group, K::kGroupBox, "", {8, 8, 232, 240}, true, false, "FTP"},
    {forms::ftp::window,
     forms::ftp::settings_group,
     K::kGroupBox,
     forms::ftp::status_group,
     {8, 16, 216, 184},
     true,
     false,
     "设置"},
    {forms::ftp::window,
     forms::ftp::labels,
     K::kLabel,
     forms::ftp::settings_group,
     {16, 24, 192, 152},
     true,
     false,
     "地址/IP：\r\n\r\n端口：\r\n\r\n账号：\r\n\r\n密码：\r\n\r\n存储路径："},
    {forms::ftp::window,
     forms::ftp::address,
     K::kEditBox,
     forms::ftp::settings_group,
     {72, 24, 128, 16},
     true,
     false,
     ""},
    {forms::ftp::window, forms::ftp::port, K::kEditBox, forms::ftp::settings_group, {56, 48, 40, 16}, true, false, ""},
    {forms::ftp::window,
     forms::ftp::account,
     K::kEditBox,
     forms::ftp::settings_group,
     {56, 72, 144, 16},
     true,
     false,
     ""},
    {forms::ftp::window,
     forms::ftp::password,
     K::kEditBox,
     forms::ftp::settings_group,
     {56, 96, 144, 16},
     true,
     false,
     ""},
    {forms::ftp::window,
     forms::ftp::path,
     K::kEditBox,
     forms::ftp::settings_group,
     {72, 120, 128, 56},
     true,
     false,
     ""},
    {forms::ftp::window,
     forms::ftp::upload,
     K::kButton,
     forms::ftp::status_group,
     {4, 208, 72, 24},
     true,
     true,
     "上传"},
    {forms::ftp::window,
     forms::ftp::connect,
     K::kButton,
     forms::ftp::status_group,
     {80, 208, 72, 24},
     true,
     false,
     "连接"},
    {forms::ftp::window,
     forms::ftp::download,
     K::kButton,
     forms::ftp::status_group,
     {156, 208, 72, 24},
     true,
     true,
     "下载"},
    {forms::record::window, forms::record::group, K::kGroupBox, "", {8, 8, 352, 176}, true, false, "新增/修改"},
    {forms::record::window,
     forms::record::labels,
     K::kLabel,
     forms::record::group,
     {8, 25, 328, 104},
     true,
     false,
     "平台:              账号:              密码:\r\n\r\n网址:\r\n\r\n备注:"},
    {forms::record::window,
     forms::record::platform,
     K::kEditBox,
     forms::record::group,
     {40, 24, 72, 16},
     true,
     false,
     ""},
    {forms::record::window,
     forms::record::account,
     K::kEditBox,
     forms::record::group,
     {152, 24, 72, 16},
     true,
     false,
     ""},
    {forms::record::window,
     forms::record::password,
     K::kEditBox,
     forms::record::group,
     {264, 24, 72, 16},
     true,
     false,
     ""},
    {forms::record::window, forms::record::address, K::kEditBox, "", {48, 56, 296, 16}, true, false, ""},
    {forms::record::window,
     forms::record::remark,
     K::kEditBox,
     forms::record::group,
     {40, 72, 296, 64},
     true,
     false,
     ""},
    {forms::record::window,
     forms::record::confirm,
     K::kButton,
     forms::record::group,
     {40, 144, 96, 24},
     true,
     false,
     "确认"},
    {forms::record::window,
     forms::record::random_password,
     K::kButton,
     forms::record::group,
     {240, 144, 96, 24},
     true,
     false,
     "随机生成密码"},
    {forms::generator::window,
     forms::generator::group,
     K::kGroupBox,
     "",
     {8, 8, 152, 208},
     true,
     false,
     "随机生成密码"},
    {forms::generator::window,
     forms::generator::labels,
     K::kLabel,
     forms::generator::group,
     {8, 16, 136, 160},
     true,
     false,
     "密码位数:\r\n\r\n特殊符号:\r\n\r\n大小英文:\r\n\r\n生成结果:"},
    {forms::generator::window,
     forms::generator::length,
     K::kEditBox,
     forms::generator::group,
     {64, 15, 80, 16},
     true,
     false,
     ""},
    {forms::generator::window,
     forms::generator::symbols,
     K::kCheckBox,
     forms::generator::group,
     {64, 39, 72, 16},
     true,
     false,
     "特殊符号"},
    {forms::generator::window,
     forms::generator::mixed_case,
     K::kCheckBox,
     "",
     {72, 72, 72, 16},
     true,
     false,
     "大小英文"},
    {forms::generator::window,
     forms::generator::result,
     K::kEditBox,
     forms::generator::group,
     {64, 88, 80, 88},
     true,
     false,
     ""},
    {forms::generator::window,
     forms::generator::generate,
     K::kButton,
     forms::generator::group,
     {80, 180, 64, 24},
     true,
     false,
     "生成"},
    {forms::generator::window, forms::generator::export_result, K::kButton, "", {13, 188, 64, 24}, true, false, "导出"},
    {forms::generator::window,
     forms::generator::tip,
     K::kBalloonTip,
     forms::generator::group,
     {16, 120, 64, 32},
     false,
     false,
     ""},
};

TEST(Forms, EveryControlHasItsKindParentGeometryFlagsAndCaption) {
    std::size_t total = 0;
    for (const FormDef& form : all_forms()) total += form.controls.size();
    EXPECT_EQ(total, kExpected.size());  // no control more than described
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(std::string(e.window) + " / " + std::string(e.name));
        const FormDef* form = find_form(e.window);
        ASSERT_NE(form, nullptr);
        const ControlDef* c = find_control(*form, e.name);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->kind, e.kind);
        EXPECT_EQ(c->parent, e.parent);
        EXPECT_EQ(c->rect.left, e.rect.left);
        EXPECT_EQ(c->rect.top, e.rect.top);
        EXPECT_EQ(c->rect.width, e.rect.width);
        EXPECT_EQ(c->rect.height, e.rect.height);
        EXPECT_EQ(c->visible, e.visible);
        EXPECT_EQ(c->disabled, e.disabled);
        EXPECT_EQ(c->caption, e.caption);
        const bool tab_stop = e.kind == K::kButton || e.kind == K::kEditBox || e.kind == K::kCheckBox ||
                              e.kind == K::kList;
        EXPECT_EQ(c->tab_stop, tab_stop);
        if (!c->parent.empty()) {
            const ControlDef* parent = find_control(*form, c->parent);
            ASSERT_NE(parent, nullptr);
            EXPECT_EQ(parent->kind, K::kGroupBox);
            EXPECT_LT(parent, c) << "a parent must be created before its children";
        }
    }
}

TEST(Forms, WindowsHaveTheirCaptionsOuterSizesAndFixedFrames) {
    struct Window {
        std::string_view name, caption;
        int width, height;
    };
    const Window windows[] = {
        {forms::main::window, "Quillet", 463, 384},     {forms::login::window, "Login", 229, 125},
        {forms::setup::window, "Registered", 231, 122}, {forms::ftp::window, "FTP同步", 253, 284},
        {forms::record::window, "New", 373, 221},       {forms::generator::window, "password", 171, 248}};
    ASSERT_EQ(all_forms().size(), 6u);
    for (const Window& w : windows) {
        const FormDef* form = find_form(w.name);
        ASSERT_NE(form, nullptr) << w.name;
        EXPECT_EQ(form->caption, w.caption);
        EXPECT_EQ(form->width, w.width);
        EXPECT_EQ(form->height, w.height);
        EXPECT_FALSE(form->resizable);
        EXPECT_TRUE(form->control_box);
        EXPECT_TRUE(form->minimise_box);
        EXPECT_FALSE(form->maximise_box);
        EXPECT_TRUE(form->centred);
        EXPECT_TRUE(form->in_task_bar);
        EXPECT_FALSE(form->always_on_top);
        EXPECT_FALSE(form->modal);
        EXPECT_EQ(form->menu.empty(), w.name != forms::main::window);
    }
    EXPECT_EQ(find_form("nonesuch"), nullptr);
}

TEST(Forms, EditBoxesHaveTheirInputModes) {
    auto edit = [](std::string_view window, std::string_view name) {
        return find_control(*find_form(window), name)->edit;
    };
    EditProps detail = edit(forms::main::window, forms::main::remark);
    EXPECT_TRUE(detail.multi_line && detail.read_only);
    EXPECT_EQ(detail.border, Border::kThinLine);

    EditProps login = edit(forms::login::window, forms::login::password);
    EXPECT_TRUE(login.password && login.centred);
    EXPECT_EQ(login.max_length, 0);
    EXPECT_EQ(login.border, Border::kThinLine);

    EditProps setup = edit(forms::setup::window, forms::setup::password);
    EXPECT_TRUE(setup.password && setup.centred);
    EXPECT_EQ(setup.max_length, 16);
    EXPECT_EQ(setup.border, Border::kThinLine);

    for (std::string_view name : {forms::ftp::address, forms::ftp::port, forms::ftp::account, forms::ftp::password}) {
        EditProps e = edit(forms::ftp::window, name);
        EXPECT_TRUE(e.centred && !e.password && !e.multi_line) << name;
    }
    EXPECT_TRUE(edit(forms::ftp::window, forms::ftp::path).multi_line);
    for (std::string_view name :
         {forms::record::platform, forms::record::account, forms::record::password, forms::record::address}) {
        EditProps e = edit(forms::record::window, name);
        EXPECT_TRUE(e.centred && !e.password && !e.multi_line) << name;
    }
    EXPECT_TRUE(edit(forms::record::window, forms::record::remark).multi_line);
    EXPECT_TRUE(edit(forms::generator::window, forms::generator::length).digits_only);
    EXPECT_TRUE(edit(forms::generator::window, forms::generator::result).multi_line);

    // Every edit box outside the login, setup and main detail boxes: sunken, unlimited.
    for (std::string_view window : {forms::ftp::window, forms::record::window, forms::generator::window}) {
        for (const ControlDef& c : find_form(window)->controls) {
            if (c.kind != K::kEditBox) continue;
            EXPECT_EQ(c.edit.border, Border::kSunken) << c.name;
            EXPECT_EQ(c.edit.max_length, 0) << c.name;
            EXPECT_FALSE(c.edit.password || c.edit.read_only) << c.name;
        }
    }
}

TEST(Forms, RecordListHasSixColumnsWithIdAndRemarkHidden) {
    const ControlDef* list = find_control(*find_form(forms::main::window), forms::main::list);
    const ListProps& props = list->list;
    EXPECT_TRUE(props.full_row_select && props.single_select);
    EXPECT_FALSE(props.grid_lines);
    EXPECT_EQ(props.border, Border::kThinLine);
    const std::pair<std::string_view, int> columns[] = {{"ID", 0},   {"平台", 100}, {"账号", 120},
                                                        {"密码", 110}, {"网址", 90},  {"备注", 0}};
    ASSERT_EQ(props.columns.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(props.columns[i].title, columns[i].first);
        EXPECT_EQ(props.columns[i].width, columns[i].second);
    }
    const ControlDef* link = find_control(*find_form(forms::main::window), forms::main::update_notice);
    EXPECT_EQ(link->text_color, 0xFF0000u);
    EXPECT_EQ(find_control(*find_form(forms::main::window), forms::main::idle_timer)->interval, 0);
    EXPECT_FALSE(find_control(*find_form(forms::generator::window), forms::generator::symbols)->checked);
}

TEST(Forms, MainMenuIsAHiddenTopLevelWithTheRecordCommands) {
    const FormDef& main = *find_form(forms::main::window);
    const std::pair<std::string_view, int> tree[] = {
        {"菜单", 0},     {"新增", 1},     {"修改", 1},     {"删除", 1},       {"查询", 1},
        {"按平台", 2},   {"按网址", 2},   {"复制", 1},     {"复制账号", 2},   {"复制密码", 2},
        {"账号+密码", 2}, {"复制所有", 2},
        {"选中账号密码后，F1自动输入账号,F2自动输入密码,F3自动输入账号密码", 2},
        {"密码", 1},     {"显示真实密码", 2}, {"访问", 1},  {"刷新", 1}};
    ASSERT_EQ(main.menu.size(), std::size(tree));
    for (std::size_t i = 0; i < main.menu.size(); ++i) {
        EXPECT_EQ(main.menu[i].caption, tree[i].first);
        EXPECT_EQ(main.menu[i].level, tree[i].second);
        EXPECT_EQ(main.menu[i].visible, i != 0) << "only the top-level item is hidden";
        EXPECT_FALSE(main.menu[i].disabled);
        EXPECT_FALSE(main.menu[i].checked);
    }
    EXPECT_EQ(menu_item_index(main, "刷新"), 16);
    EXPECT_EQ(find_menu_item(main, "nonesuch"), nullptr);
}

TEST(Forms, ClientAreaIsTheOuterSizeLessTheFrameButHoldsTheControls) {
    for (const FormDef& form : all_forms()) {
        Size nominal = client_size(form, kNominalFrame);
        EXPECT_EQ(nominal.width, form.width - kNominalFrame.width) << form.name;
        EXPECT_EQ(nominal.height, form.height - kNominalFrame.height) << form.name;
    }
    // A window system with a thick frame never squeezes the controls.
    Size main = client_size(*find_form(forms::main::window), Size{40, 80});
    EXPECT_EQ(main.width, 5 + 448);
    EXPECT_EQ(main.height, 352);
    Size generator = client_size(*find_form(forms::generator::window), Size{40, 80});
    EXPECT_EQ(generator.width, 8 + 152);
    EXPECT_EQ(generator.height, 8 + 208);
}

}  // namespace
}  // namespace quillet::ui
