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
    {kMainWindow, "分组框_数据", K::kGroupBox, "", {5, 0, 448, 352}, true, false, "数据 - 右键表单编辑数据"},
    {kMainWindow, "超级列表框1", K::kList, "分组框_数据", {8, 21, 432, 195}, true, false, ""},
    {kMainWindow, "分组框_备注详情", K::kGroupBox, "分组框_数据", {8, 224, 432, 88}, true, false, "备注详情"},
    {kMainWindow, "编辑框_备注详情", K::kEditBox, "分组框_备注详情", {8, 16, 416, 64}, true, false, ""},
    {kMainWindow, "按钮_注销", K::kButton, "分组框_数据", {8, 320, 72, 24}, true, false, "注 销"},
    {kMainWindow, "按钮_FTP", K::kButton, "分组框_数据", {175, 320, 80, 24}, true, false, "FTP"},
    {kMainWindow, "按钮_退出", K::kButton, "分组框_数据", {351, 320, 88, 24}, true, false, "退 出"},
    {kMainWindow, "透明标签1", K::kTransparentLabel, "分组框_数据", {15, 211, 124, 24}, false, false,
     "发现新版本，点击下载"},
    {kMainWindow, "标签1", K::kLabel, "分组框_数据", {32, 248, 16, 24}, false, false, ""},
    {kMainWindow, "时钟1", K::kTimer, "分组框_备注详情", {0, 0, 0, 0}, true, false, ""},
    {kLoginWindow, "分组框_login", K::kGroupBox, "", {8, 8, 210, 80}, true, false, "login"},
    {kLoginWindow, "编辑框_登录密码", K::kEditBox, "分组框_login", {9, 19, 192, 24}, true, false, ""},
    {kLoginWindow, "按钮_登录", K::kButton, "分组框_login", {9, 48, 192, 24}, true, false, "登 录"},
    {kLoginWindow, "气球提示框1", K::kBalloonTip, "", {8, 8, 104, 40}, false, false, ""},
    {kSetupWindow, "分组框_设置登录密码", K::kGroupBox, "", {8, 8, 210, 80}, true, false, "请设置登录密码/同步FTP"},
    {kSetupWindow, "编辑框_设置登录密码", K::kEditBox, "分组框_设置登录密码", {9, 19, 192, 24}, true, false, ""},
    {kSetupWindow, "按钮_完成设置", K::kButton, "分组框_设置登录密码", {9, 48, 192, 24}, true, false, "完成设置"},
    {kSetupWindow, "气球提示框1", K::kBalloonTip, "分组框_设置登录密码", {8, 0, 104, 40}, false, false, ""},
    {kFtpWindow, "分组框_FTP", K::kGroupBox, "", {8, 8, 232, 240}, true, false, "FTP"},
    {kFtpWindow, "分组框2", K::kGroupBox, "分组框_FTP", {8, 16, 216, 184}, true, false, "设置"},
    {kFtpWindow, "标签2", K::kLabel, "分组框2", {16, 24, 192, 152}, true, false,
     "地址/IP：\r\n\r\n端口：\r\n\r\n账号：\r\n\r\n密码：\r\n\r\n存储路径："},
    {kFtpWindow, "编辑框_ftp地址", K::kEditBox, "分组框2", {72, 24, 128, 16}, true, false, ""},
    {kFtpWindow, "编辑框_ftp端口", K::kEditBox, "分组框2", {56, 48, 40, 16}, true, false, ""},
    {kFtpWindow, "编辑框_ftp账号", K::kEditBox, "分组框2", {56, 72, 144, 16}, true, false, ""},
    {kFtpWindow, "编辑框_ftp密码", K::kEditBox, "分组框2", {56, 96, 144, 16}, true, false, ""},
    {kFtpWindow, "编辑框_ftp路径", K::kEditBox, "分组框2", {72, 120, 128, 56}, true, false, ""},
    {kFtpWindow, "按钮_ftp上传", K::kButton, "分组框_FTP", {4, 208, 72, 24}, true, true, "上传"},
    {kFtpWindow, "按钮_ftp_连接", K::kButton, "分组框_FTP", {80, 208, 72, 24}, true, false, "连接"},
    {kFtpWindow, "按钮_ftp_下载", K::kButton, "分组框_FTP", {156, 208, 72, 24}, true, true, "下载"},
    {kRecordWindow, "分组框_增修界面", K::kGroupBox, "", {8, 8, 352, 176}, true, false, "新增/修改"},
    {kRecordWindow, "标签1", K::kLabel, "分组框_增修界面", {8, 25, 328, 104}, true, false,
     "平台:              账号:              密码:\r\n\r\n网址:\r\n\r\n备注:"},
    {kRecordWindow, "编辑框_平台", K::kEditBox, "分组框_增修界面", {40, 24, 72, 16}, true, false, ""},
    {kRecordWindow, "编辑框_账号", K::kEditBox, "分组框_增修界面", {152, 24, 72, 16}, true, false, ""},
    {kRecordWindow, "编辑框_密码", K::kEditBox, "分组框_增修界面", {264, 24, 72, 16}, true, false, ""},
    {kRecordWindow, "编辑框_网址", K::kEditBox, "", {48, 56, 296, 16}, true, false, ""},
    {kRecordWindow, "编辑框_备注", K::kEditBox, "分组框_增修界面", {40, 72, 296, 64}, true, false, ""},
    {kRecordWindow, "按钮_确认", K::kButton, "分组框_增修界面", {40, 144, 96, 24}, true, false, "确认"},
    {kRecordWindow, "按钮_随机密码", K::kButton, "分组框_增修界面", {240, 144, 96, 24}, true, false, "随机生成密码"},
    {kGeneratorWindow, "分组框1", K::kGroupBox, "", {8, 8, 152, 208}, true, false, "随机生成密码"},
    {kGeneratorWindow, "标签1", K::kLabel, "分组框1", {8, 16, 136, 160}, true, false,
     "密码位数:\r\n\r\n特殊符号:\r\n\r\n大小英文:\r\n\r\n生成结果:"},
    {kGeneratorWindow, "编辑框_位数", K::kEditBox, "分组框1", {64, 15, 80, 16}, true, false, ""},
    {kGeneratorWindow, "选择框_符号", K::kCheckBox, "分组框1", {64, 39, 72, 16}, true, false, "特殊符号"},
    {kGeneratorWindow, "选择框_大小英文", K::kCheckBox, "", {72, 72, 72, 16}, true, false, "大小英文"},
    {kGeneratorWindow, "编辑框_结果", K::kEditBox, "分组框1", {64, 88, 80, 88}, true, false, ""},
    {kGeneratorWindow, "按钮_生成", K::kButton, "分组框1", {80, 180, 64, 24}, true, false, "生成"},
    {kGeneratorWindow, "按钮_导出", K::kButton, "", {13, 188, 64, 24}, true, false, "导出"},
    {kGeneratorWindow, "气球提示框1", K::kBalloonTip, "分组框1", {16, 120, 64, 32}, false, false, ""},
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
    const Window windows[] = {{kMainWindow, "Quillet", 463, 384}, {kLoginWindow, "Login", 229, 125},
                              {kSetupWindow, "Registered", 231, 122}, {kFtpWindow, "FTP同步", 253, 284},
                              {kRecordWindow, "New", 373, 221},      {kGeneratorWindow, "password", 171, 248}};
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
        EXPECT_EQ(form->menu.empty(), w.name != kMainWindow);
    }
    EXPECT_EQ(find_form("nonesuch"), nullptr);
}

TEST(Forms, EditBoxesHaveTheirInputModes) {
    auto edit = [](std::string_view window, std::string_view name) {
        return find_control(*find_form(window), name)->edit;
    };
    EditProps detail = edit(kMainWindow, "编辑框_备注详情");
    EXPECT_TRUE(detail.multi_line && detail.read_only);
    EXPECT_EQ(detail.border, Border::kThinLine);

    EditProps login = edit(kLoginWindow, "编辑框_登录密码");
    EXPECT_TRUE(login.password && login.centred);
    EXPECT_EQ(login.max_length, 0);
    EXPECT_EQ(login.border, Border::kThinLine);

    EditProps setup = edit(kSetupWindow, "编辑框_设置登录密码");
    EXPECT_TRUE(setup.password && setup.centred);
    EXPECT_EQ(setup.max_length, 16);
    EXPECT_EQ(setup.border, Border::kThinLine);

    for (std::string_view name : {"编辑框_ftp地址", "编辑框_ftp端口", "编辑框_ftp账号", "编辑框_ftp密码"}) {
        EditProps e = edit(kFtpWindow, name);
        EXPECT_TRUE(e.centred && !e.password && !e.multi_line) << name;
    }
    EXPECT_TRUE(edit(kFtpWindow, "编辑框_ftp路径").multi_line);
    for (std::string_view name : {"编辑框_平台", "编辑框_账号", "编辑框_密码", "编辑框_网址"}) {
        EditProps e = edit(kRecordWindow, name);
        EXPECT_TRUE(e.centred && !e.password && !e.multi_line) << name;
    }
    EXPECT_TRUE(edit(kRecordWindow, "编辑框_备注").multi_line);
    EXPECT_TRUE(edit(kGeneratorWindow, "编辑框_位数").digits_only);
    EXPECT_TRUE(edit(kGeneratorWindow, "编辑框_结果").multi_line);

    // Every edit box outside the login, setup and main detail boxes: sunken, unlimited.
    for (std::string_view window : {kFtpWindow, kRecordWindow, kGeneratorWindow}) {
        for (const ControlDef& c : find_form(window)->controls) {
            if (c.kind != K::kEditBox) continue;
            EXPECT_EQ(c.edit.border, Border::kSunken) << c.name;
            EXPECT_EQ(c.edit.max_length, 0) << c.name;
            EXPECT_FALSE(c.edit.password || c.edit.read_only) << c.name;
        }
    }
}

TEST(Forms, RecordListHasSixColumnsWithIdAndRemarkHidden) {
    const ControlDef* list = find_control(*find_form(kMainWindow), "超级列表框1");
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
    const ControlDef* link = find_control(*find_form(kMainWindow), "透明标签1");
    EXPECT_EQ(link->text_color, 0xFF0000u);
    EXPECT_EQ(find_control(*find_form(kMainWindow), "时钟1")->interval, 0);
    EXPECT_FALSE(find_control(*find_form(kGeneratorWindow), "选择框_符号")->checked);
}

TEST(Forms, MainMenuIsAHiddenTopLevelWithTheRecordCommands) {
    const FormDef& main = *find_form(kMainWindow);
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
    Size main = client_size(*find_form(kMainWindow), Size{40, 80});
    EXPECT_EQ(main.width, 5 + 448);
    EXPECT_EQ(main.height, 352);
    Size generator = client_size(*find_form(kGeneratorWindow), Size{40, 80});
    EXPECT_EQ(generator.width, 8 + 152);
    EXPECT_EQ(generator.height, 8 + 208);
}

}  // namespace
}  // namespace quillet::ui
