#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scripted_user.h"
#include "ui/dialog_script.h"
#include "ui/qt_window_layer.h"

namespace quillet::ui {
namespace {

class WindowLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        layer_ = std::make_unique<QtWindowLayer>();
        user_ = std::make_unique<ScriptedUser>(*layer_);
    }

    void TearDown() override { set_dialog_script(nullptr); }

    QWidget* top(std::string_view window) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QString::fromLatin1(window.data(), window.size()) && w->isVisible()) return w;
        }
        return nullptr;
    }

    // Keeps the window thread serving until `done` (a worker's blocking calls need it).
    void serve_until(const std::atomic<bool>& done) {
        while (!done) layer_->process_events();
    }

    std::unique_ptr<QtWindowLayer> layer_;
    std::unique_ptr<ScriptedUser> user_;
    DialogScript dialogs_;
};

TEST_F(WindowLayerTest, CreatedFiresOnceWithControlsAndDestroyedFiresBeforeTheyGo) {
    std::vector<std::string> seen;
    layer_->bind(kFtpWindow, "", Event::kCreated, [&](int, int) {
        seen.push_back("created:" + layer_->text(kFtpWindow, "按钮_ftp_连接"));
    });
    layer_->bind(kFtpWindow, "", Event::kDestroyed, [&](int, int) {
        seen.push_back("destroyed:" + layer_->text(kFtpWindow, "分组框_FTP"));
    });
    layer_->load_window(kFtpWindow);
    layer_->load_window(kFtpWindow);  // already open: brought to the front only
    EXPECT_TRUE(layer_->is_open(kFtpWindow));
    layer_->destroy_window(kFtpWindow);
    layer_->destroy_window(kFtpWindow);
    EXPECT_FALSE(layer_->is_open(kFtpWindow));
    EXPECT_EQ(seen, (std::vector<std::string>{"created:连接", "destroyed:FTP"}));
}

TEST_F(WindowLayerTest, HandlersRunInBindOrderOnEveryLaterLoad) {
    std::string order;
    layer_->bind(kLoginWindow, "按钮_登录", Event::kClicked, [&](int, int) { order += "a"; });
    layer_->bind(kLoginWindow, "按钮_登录", Event::kClicked, [&](int, int) { order += "b"; });
    for (int round = 0; round < 2; ++round) {
        layer_->load_window(kLoginWindow);
        user_->click(kLoginWindow, "按钮_登录");
        layer_->destroy_window(kLoginWindow);
    }
    EXPECT_EQ(order, "abab");
    int a = 0, b = 0;
    layer_->bind(kMainWindow, "标签1", Event::kFeedback, [&](int x, int y) { a = x, b = y; });
    layer_->raise(kMainWindow, "标签1", Event::kFeedback, 7, 0);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 0);
}

TEST_F(WindowLayerTest, ClosingWithTheCloseBoxDestroysTheWindow) {
    int destroyed = 0;
    layer_->bind(kRecordWindow, "", Event::kDestroyed, [&](int, int) { ++destroyed; });
    layer_->load_window(kRecordWindow);
    ASSERT_NE(top(kRecordWindow), nullptr);
    top(kRecordWindow)->close();
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(layer_->is_open(kRecordWindow));
}

TEST_F(WindowLayerTest, ChineseTextsRoundTripThroughEveryKindOfControl) {
    layer_->load_window(kFtpWindow);
    layer_->set_text(kFtpWindow, "编辑框_ftp地址", "服务器·一");
    EXPECT_EQ(layer_->text(kFtpWindow, "编辑框_ftp地址"), "服务器·一");
    layer_->set_text(kFtpWindow, "编辑框_ftp路径", "第一行\r\n第二行");
    EXPECT_EQ(layer_->text(kFtpWindow, "编辑框_ftp路径"), "第一行\r\n第二行");
    layer_->set_text(kFtpWindow, "分组框_FTP", "连接成功");
    EXPECT_EQ(layer_->text(kFtpWindow, "分组框_FTP"), "连接成功");
    EXPECT_EQ(layer_->text(kFtpWindow, "标签2"), "地址/IP：\r\n\r\n端口：\r\n\r\n账号：\r\n\r\n密码：\r\n\r\n存储路径：");
    EXPECT_EQ(layer_->text(kFtpWindow, ""), "FTP同步");
    EXPECT_EQ(top(kFtpWindow)->windowTitle(), QString::fromUtf16(u"FTP同步"));
    EXPECT_EQ(layer_->text(kFtpWindow, "no such control"), "");
    EXPECT_EQ(layer_->text(kMainWindow, "分组框_数据"), "") << "the main window is not open";
}

TEST_F(WindowLayerTest, ReadOnlyBoxTakesProgramWritesButNotTyping) {
    layer_->load_window(kMainWindow);
    layer_->set_text(kMainWindow, "编辑框_备注详情", "备注一");
    user_->type_text(kMainWindow, "编辑框_备注详情", "x");
    EXPECT_EQ(layer_->text(kMainWindow, "编辑框_备注详情"), "备注一");
}

TEST_F(WindowLayerTest, PasswordBoxesMaskAndOnlyTheSetupBoxIsLimitedTo16) {
    layer_->load_window(kSetupWindow);
    layer_->load_window(kLoginWindow);
    user_->type_text(kSetupWindow, "编辑框_设置登录密码", "12345678901234567");
    EXPECT_EQ(layer_->text(kSetupWindow, "编辑框_设置登录密码"), "1234567890123456");
    user_->type_text(kLoginWindow, "编辑框_登录密码", "12345678901234567890");
    EXPECT_EQ(layer_->text(kLoginWindow, "编辑框_登录密码"), "12345678901234567890");
    for (auto [window, box] : {std::pair{kSetupWindow, u"编辑框_设置登录密码"}, {kLoginWindow, u"编辑框_登录密码"}}) {
        auto* edit = top(window)->findChild<QLineEdit*>(QString::fromUtf16(box));
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(edit->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        EXPECT_EQ(edit->displayText(), QString(edit->text().size(), u'*'));
    }
    auto* clear = top(kSetupWindow)->findChild<QLineEdit*>(QString::fromUtf16(u"编辑框_设置登录密码"));
    EXPECT_EQ(clear->maxLength(), 16);
}

TEST_F(WindowLayerTest, DigitsBoxRefusesLettersButTakesDigitsAndMinus) {
    layer_->load_window(kGeneratorWindow);
    user_->type_text(kGeneratorWindow, "编辑框_位数", "1a2-b3 ");
    EXPECT_EQ(layer_->text(kGeneratorWindow, "编辑框_位数"), "12-3");
    user_->type_text(kGeneratorWindow, "编辑框_结果", "多行\r\n");
    EXPECT_EQ(layer_->text(kGeneratorWindow, "编辑框_结果"), "多行\r\n");
}

TEST_F(WindowLayerTest, CheckBoxesToggleOnClick) {
    layer_->load_window(kGeneratorWindow);
    EXPECT_FALSE(layer_->is_checked(kGeneratorWindow, "选择框_符号"));
    user_->click(kGeneratorWindow, "选择框_符号");
    EXPECT_TRUE(layer_->is_checked(kGeneratorWindow, "选择框_符号"));
    layer_->set_checked(kGeneratorWindow, "选择框_符号", false);
    EXPECT_FALSE(layer_->is_checked(kGeneratorWindow, "选择框_符号"));
}

TEST_F(WindowLayerTest, DisabledButtonsCannotBePressedAndHiddenFlagsHold) {
    int uploads = 0;
    layer_->bind(kFtpWindow, "按钮_ftp上传", Event::kClicked, [&](int, int) { ++uploads; });
    layer_->load_window(kFtpWindow);
    EXPECT_FALSE(layer_->is_enabled(kFtpWindow, "按钮_ftp上传"));
    EXPECT_FALSE(layer_->is_enabled(kFtpWindow, "按钮_ftp_下载"));
    user_->click(kFtpWindow, "按钮_ftp上传");
    EXPECT_EQ(uploads, 0);
    layer_->set_enabled(kFtpWindow, "按钮_ftp上传", true);
    user_->click(kFtpWindow, "按钮_ftp上传");
    EXPECT_EQ(uploads, 1);

    layer_->load_window(kMainWindow);
    EXPECT_FALSE(layer_->is_visible(kMainWindow, "透明标签1"));
    EXPECT_FALSE(layer_->is_visible(kMainWindow, "标签1"));
    EXPECT_TRUE(layer_->is_visible(kMainWindow, "超级列表框1"));
    layer_->set_visible(kMainWindow, "透明标签1", true);
    EXPECT_TRUE(layer_->is_visible(kMainWindow, "透明标签1"));
    EXPECT_EQ(top(kMainWindow)->findChild<QMenuBar*>(), nullptr) << "the main window shows no menu bar";
}

TEST_F(WindowLayerTest, WindowsAreFixedSizeWithoutMaximiseAndHoldTheirControls) {
    for (std::string_view name : {kMainWindow, kLoginWindow, kSetupWindow, kFtpWindow, kRecordWindow,
                                  kGeneratorWindow}) {
        layer_->load_window(name);
        QWidget* w = top(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(w->minimumSize(), w->maximumSize()) << name;
        EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint) << name;
        EXPECT_TRUE(w->windowFlags() & Qt::WindowMinimizeButtonHint) << name;
        for (QWidget* child : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isWindow() || child->isHidden()) continue;
            EXPECT_TRUE(w->rect().contains(child->geometry())) << name << " " << child->objectName().toStdString();
        }
    }
    QWidget* main = top(kMainWindow);
    EXPECT_EQ(main->size(), QSize(463 - 6, 384 - 29));
    auto* group = main->findChild<QWidget*>(QString::fromUtf16(u"分组框_数据"));
    EXPECT_EQ(group->geometry(), QRect(5, 0, 448, 352));
}

TEST_F(WindowLayerTest, ListHiddenColumnsHoldDataAndMissingRowsReadEmpty) {
    layer_->load_window(kMainWindow);
    const char* list = "超级列表框1";
    layer_->list_append_rows(kMainWindow, list, {{"1", "平台一", "账号", "密文", "网址", "备注一"}, {"2", "平台二"}});
    int row = layer_->list_append_row(kMainWindow, list);
    EXPECT_EQ(row, 2);
    layer_->list_set_cell(kMainWindow, list, row, 0, "3");
    layer_->list_set_cell(kMainWindow, list, row, 5, "备注三");
    layer_->list_set_cell_data(kMainWindow, list, row, 3, "隐藏数据");
    EXPECT_EQ(layer_->list_row_count(kMainWindow, list), 3);
    EXPECT_EQ(layer_->list_cell(kMainWindow, list, 0, 5), "备注一");
    EXPECT_EQ(layer_->list_cell(kMainWindow, list, 2, 0), "3");
    EXPECT_EQ(layer_->list_cell(kMainWindow, list, 1, 5), "");
    EXPECT_EQ(layer_->list_cell_data(kMainWindow, list, 2, 3), "隐藏数据");
    EXPECT_EQ(layer_->list_cell(kMainWindow, list, 2, 3), "");
    EXPECT_EQ(layer_->list_cell(kMainWindow, list, -1, 1), "");
    EXPECT_EQ(layer_->list_cell(kMainWindow, list, 9, 1), "");

    auto* tree = top(kMainWindow)->findChild<QTreeWidget*>(QString::fromUtf16(u"超级列表框1"));
    ASSERT_NE(tree, nullptr);
    EXPECT_TRUE(tree->header()->isSectionHidden(0));
    EXPECT_TRUE(tree->header()->isSectionHidden(5));
    EXPECT_EQ(tree->columnWidth(1), 100);
    EXPECT_EQ(tree->columnWidth(2), 120);
    EXPECT_EQ(tree->columnWidth(3), 110);
    EXPECT_EQ(tree->columnWidth(4), 90);
    EXPECT_EQ(tree->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(tree->selectionBehavior(), QAbstractItemView::SelectRows);

    EXPECT_EQ(layer_->list_selected_row(kMainWindow, list), -1);
    layer_->list_select_row(kMainWindow, list, 1);
    EXPECT_EQ(layer_->list_selected_row(kMainWindow, list), 1);
    layer_->list_clear(kMainWindow, list);
    EXPECT_EQ(layer_->list_row_count(kMainWindow, list), 0);
    EXPECT_EQ(layer_->list_selected_row(kMainWindow, list), -1);
}

TEST_F(WindowLayerTest, ListOperationsFromAWorkerThreadEachRunWhole) {
    layer_->load_window(kMainWindow);
    std::atomic<bool> done{false};
    std::vector<std::vector<std::string>> rows(10000, {"0", "平台", "账号", "密文", "网址", "备注"});
    int counted = -1;
    std::string cell;
    bool worker_on_window_thread = true;
    std::thread worker([&] {
        worker_on_window_thread = layer_->on_window_thread();
        layer_->list_clear(kMainWindow, "超级列表框1");
        layer_->list_append_rows(kMainWindow, "超级列表框1", rows);
        int row = layer_->list_append_row(kMainWindow, "超级列表框1");
        layer_->list_set_cell(kMainWindow, "超级列表框1", row, 5, "最后");
        counted = layer_->list_row_count(kMainWindow, "超级列表框1");
        cell = layer_->list_cell(kMainWindow, "超级列表框1", row, 5);
        done = true;
    });
    serve_until(done);
    worker.join();
    EXPECT_FALSE(worker_on_window_thread);
    EXPECT_EQ(counted, 10001);
    EXPECT_EQ(cell, "最后");
}

TEST_F(WindowLayerTest, TimerTicksOnlyWithAPositiveInterval) {
    int ticks = 0;
    layer_->bind(kMainWindow, "时钟1", Event::kTick, [&](int, int) { ++ticks; });
    layer_->load_window(kMainWindow);
    layer_->wait_processing_events(30);
    EXPECT_EQ(ticks, 0) << "a timer of interval 0 never ticks";
    layer_->set_timer_interval(kMainWindow, "时钟1", 5);
    for (int i = 0; i < 1000 && ticks < 2; ++i) layer_->wait_processing_events(5);
    EXPECT_GE(ticks, 2);
    layer_->set_timer_interval(kMainWindow, "时钟1", 0);
    int stopped_at = ticks;
    layer_->wait_processing_events(30);
    EXPECT_EQ(ticks, stopped_at);
}

TEST_F(WindowLayerTest, DestroyedWindowsTimerStopsTicking) {
    int ticks = 0;
    layer_->bind(kMainWindow, "时钟1", Event::kTick, [&](int, int) { ++ticks; });
    layer_->bind(kMainWindow, "", Event::kCreated, [&](int, int) { layer_->set_timer_interval(kMainWindow, "时钟1", 1); });
    layer_->load_window(kMainWindow);
    layer_->destroy_window(kMainWindow);
    layer_->wait_processing_events(30);
    EXPECT_EQ(ticks, 0);
}

TEST_F(WindowLayerTest, DisabledMenuItemsCannotBeChosenAndGreySubMenus) {
    std::vector<std::string> chosen;
    for (const char* item : {"新增", "删除", "复制账号", "刷新"}) {
        layer_->bind(kMainWindow, item, Event::kChosen, [&, item](int, int) { chosen.push_back(item); });
    }
    layer_->load_window(kMainWindow);
    layer_->set_menu_item_enabled(kMainWindow, "删除", false);
    layer_->set_menu_item_enabled(kMainWindow, "复制", false);
    EXPECT_FALSE(layer_->is_menu_item_enabled(kMainWindow, "删除"));
    for (const char* item : {"新增", "删除", "复制账号", "刷新", "查询"}) user_->choose_menu_item(kMainWindow, item);
    EXPECT_EQ(chosen, (std::vector<std::string>{"新增", "刷新"}));

    ui::set_dialog_script(&dialogs_);
    layer_->popup_menu(kMainWindow, "菜单", layer_->cursor_position());
    EXPECT_FALSE(dialogs_.last_popup_item_enabled("删除"));
    EXPECT_FALSE(dialogs_.last_popup_item_enabled("复制"));
    EXPECT_FALSE(dialogs_.last_popup_item_enabled("复制密码"));
    EXPECT_TRUE(dialogs_.last_popup_item_enabled("新增"));
    EXPECT_TRUE(dialogs_.last_popup_item_enabled("按网址"));
    EXPECT_TRUE(dialogs_.last_popup_item_enabled("显示真实密码"));
}

TEST_F(WindowLayerTest, MouseEventsReachWindowGroupBoxAndList) {
    std::vector<std::string> moved;
    for (const char* control : {"", "分组框_数据", "超级列表框1"}) {
        layer_->bind(kMainWindow, control, Event::kMouseMoved, [&, control](int, int) { moved.push_back(control); });
    }
    int right = 0, clicked = 0, link = 0;
    layer_->bind(kMainWindow, "超级列表框1", Event::kRightButtonPressed, [&](int, int) { ++right; });
    layer_->bind(kMainWindow, "超级列表框1", Event::kClicked, [&](int, int) { ++clicked; });
    layer_->bind(kMainWindow, "透明标签1", Event::kRightButtonPressed, [&](int, int) { ++link; });
    layer_->load_window(kMainWindow);
    user_->move_mouse_over(kMainWindow, "超级列表框1");
    user_->move_mouse_over(kMainWindow, "分组框_数据");
    user_->move_mouse_over(kMainWindow, "");
    EXPECT_EQ(moved, (std::vector<std::string>{"超级列表框1", "分组框_数据", ""}));
    user_->right_click(kMainWindow, "超级列表框1");
    user_->click(kMainWindow, "超级列表框1");
    user_->right_click(kMainWindow, "透明标签1");  // hidden: out of reach
    layer_->set_visible(kMainWindow, "透明标签1", true);
    user_->right_click(kMainWindow, "透明标签1");
    EXPECT_EQ(right, 1);
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(link, 1);
}

TEST_F(WindowLayerTest, ScriptedDialogsTakeQueuedAnswersAndRecordWhatWasShown) {
    ui::set_dialog_script(&dialogs_);
    dialogs_.answer_question(true);
    dialogs_.answer_input(true, "平台");
    dialogs_.answer_password(true, "口令");
    EXPECT_TRUE(layer_->question_box("删除吗？"));
    EXPECT_FALSE(layer_->question_box("再删？")) << "no answer left: No";
    std::string entered = "unchanged";
    EXPECT_TRUE(layer_->input_box("输入平台名", "", "", &entered));
    EXPECT_EQ(entered, "平台");
    EXPECT_FALSE(layer_->input_box("输入网址", "", "", &entered));
    std::string password;
    EXPECT_TRUE(layer_->password_prompt(3, &password));
    EXPECT_EQ(password, "口令");
    EXPECT_FALSE(layer_->password_prompt(2, &password));
    layer_->message_box("数据添加成功");
    layer_->balloon_tip(kLoginWindow, "气球提示框1", "请输入密码", layer_->cursor_position());

    using Kind = ShownDialog::Kind;
    std::vector<ShownDialog> shown = dialogs_.take_shown();
    ASSERT_EQ(shown.size(), 8u);
    EXPECT_EQ(shown[0].kind, Kind::kQuestion);
    EXPECT_EQ(shown[0].text, "删除吗？");
    EXPECT_EQ(shown[2].kind, Kind::kInput);
    EXPECT_EQ(shown[2].text, "输入平台名");
    EXPECT_EQ(shown[4].kind, Kind::kPassword);
    EXPECT_EQ(shown[6].kind, Kind::kMessage);
    EXPECT_EQ(shown[6].text, "数据添加成功");
    EXPECT_EQ(shown[7].kind, Kind::kBalloon);
    EXPECT_EQ(shown[7].text, "请输入密码");
    EXPECT_TRUE(dialogs_.take_shown().empty());
}

TEST_F(WindowLayerTest, MessageBoxFromAWorkerIsShownOnTheWindowThreadAndBlocksIt) {
    std::atomic<bool> done{false};
    QString shown_text;
    // Whoever runs the window thread's loop next closes the box as a user would.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            shown_text = box->windowTitle();
            box->close();
        }
    });
    closer.start(1);
    std::thread worker([&] {
        layer_->message_box("上传成功");
        done = true;
    });
    serve_until(done);
    worker.join();
    EXPECT_EQ(shown_text, QString::fromUtf16(u"信息："));
}

TEST_F(WindowLayerTest, PasswordPromptShowsTheRetryLineAndReturnsTheTypedText) {
    QStringList labels;
    QString title;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        title = dialog->windowTitle();
        for (QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
        dialog->findChild<QLineEdit*>()->setText(QString::fromUtf16(u"口令"));
        dialog->accept();
    });
    typist.start(1);
    std::string password;
    EXPECT_TRUE(layer_->password_prompt(2, &password));
    EXPECT_EQ(password, "口令");
    EXPECT_EQ(title, QString::fromUtf16(u"密码输入"));
    EXPECT_TRUE(labels.contains(QString::fromUtf16(u"请输入数据库访问密码：")));
    EXPECT_TRUE(labels.contains(QString::fromUtf16(u"密码错误，您还有 2 次重新输入的机会。")));
}

TEST_F(WindowLayerTest, RunEndsWhenTheLastWindowHasClosedNotWhenOneIsReplaced) {
    layer_->bind(kMainWindow, "按钮_注销", Event::kClicked, [&](int, int) {
        layer_->load_window(kLoginWindow);
        layer_->destroy_window(kMainWindow);
    });
    layer_->load_window(kMainWindow);
    std::vector<std::string> steps;
    layer_->post([&] {
        user_->click(kMainWindow, "按钮_注销");
        layer_->post([&] {
            steps.push_back(layer_->is_open(kLoginWindow) ? "login open" : "login closed");
            layer_->destroy_window(kLoginWindow);
        });
    });
    EXPECT_EQ(layer_->run(), 0);
    EXPECT_EQ(steps, (std::vector<std::string>{"login open"}));
    EXPECT_FALSE(layer_->is_open(kLoginWindow));
}

}  // namespace
}  // namespace quillet::ui
