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

#include "tests/support/expect_reported.h"
#include "tests/support/scripted_user.h"
#include "ui/dialog_script.h"
#include "ui/forms.h"
#include "ui/qt/gbk_text.h"
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
    layer_->bind(forms::ftp::window, "", Event::kCreated,
                 [&](int, int) { seen.push_back("created:" + layer_->text(forms::ftp::window, forms::ftp::connect)); });
    layer_->bind(forms::ftp::window, "", Event::kDestroyed, [&](int, int) {
        seen.push_back("destroyed:" + layer_->text(forms::ftp::window, forms::ftp::status_group));
    });
    layer_->load_window(forms::ftp::window);
    layer_->load_window(forms::ftp::window);  // already open: brought to the front only
    EXPECT_TRUE(layer_->is_open(forms::ftp::window));
    layer_->destroy_window(forms::ftp::window);
    layer_->destroy_window(forms::ftp::window);
    EXPECT_FALSE(layer_->is_open(forms::ftp::window));
    EXPECT_EQ(seen, (std::vector<std::string>{"created:连接", "destroyed:FTP"}));
}

TEST_F(WindowLayerTest, HandlersRunInBindOrderOnEveryLaterLoad) {
    std::string order;
    layer_->bind(forms::login::window, forms::login::log_in, Event::kClicked, [&](int, int) { order += "a"; });
    layer_->bind(forms::login::window, forms::login::log_in, Event::kClicked, [&](int, int) { order += "b"; });
    for (int round = 0; round < 2; ++round) {
        layer_->load_window(forms::login::window);
        user_->click(forms::login::window, forms::login::log_in);
        layer_->destroy_window(forms::login::window);
    }
    EXPECT_EQ(order, "abab");
    int a = 0, b = 0;
    layer_->bind(forms::main::window, forms::main::hot_keys, Event::kFeedback, [&](int x, int y) { a = x, b = y; });
    layer_->raise(forms::main::window, forms::main::hot_keys, Event::kFeedback, 7, 0);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 0);
}

TEST_F(WindowLayerTest, ClosingWithTheCloseBoxDestroysTheWindow) {
    int destroyed = 0;
    layer_->bind(forms::record::window, "", Event::kDestroyed, [&](int, int) { ++destroyed; });
    layer_->load_window(forms::record::window);
    ASSERT_NE(top(forms::record::window), nullptr);
    top(forms::record::window)->close();
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(layer_->is_open(forms::record::window));
}

TEST_F(WindowLayerTest, ChineseTextsRoundTripThroughEveryKindOfControl) {
    layer_->load_window(forms::ftp::window);
    layer_->set_text(forms::ftp::window, forms::ftp::address, "服务器·一");
    EXPECT_EQ(layer_->text(forms::ftp::window, forms::ftp::address), "服务器·一");
    layer_->set_text(forms::ftp::window, forms::ftp::path, "第一行\r\n第二行");
    EXPECT_EQ(layer_->text(forms::ftp::window, forms::ftp::path), "第一行\r\n第二行");
    layer_->set_text(forms::ftp::window, forms::ftp::status_group, "连接成功");
    EXPECT_EQ(layer_->text(forms::ftp::window, forms::ftp::status_group), "连接成功");
    EXPECT_EQ(layer_->text(forms::ftp::window, forms::ftp::labels),
              "地址/IP：\r\n\r\n端口：\r\n\r\n账号：\r\n\r\n密码：\r\n\r\n存储路径：");
    EXPECT_EQ(layer_->text(forms::ftp::window, ""), "FTP同步");
    EXPECT_EQ(top(forms::ftp::window)->windowTitle(), QString::fromUtf16(u"FTP同步"));
    EXPECT_EQ(layer_->text(forms::main::window, forms::main::data_group), "") << "the main window is not open";
}

TEST_F(WindowLayerTest, AnUnknownControlIsReportedNotIgnored) {
    layer_->load_window(forms::ftp::window);
    EXPECT_REPORTED(layer_->text(forms::ftp::window, "no such control"),
                    "unknown control \"no such control\" in window \"ftp\"");
    EXPECT_REPORTED(layer_->list_row_count(forms::ftp::window, forms::main::list),
                    "unknown control .* in window \"ftp\"");
    EXPECT_REPORTED(layer_->set_enabled("no such window", forms::ftp::upload, true),
                    "unknown window \"no such window\"");
#ifdef NDEBUG
    testing::internal::CaptureStderr();
    EXPECT_EQ(layer_->text(forms::ftp::window, "no such control"), "");
    testing::internal::GetCapturedStderr();
#endif
}

TEST_F(WindowLayerTest, ReadOnlyBoxTakesProgramWritesButNotTyping) {
    layer_->load_window(forms::main::window);
    layer_->set_text(forms::main::window, forms::main::remark, "备注一");
    user_->type_text(forms::main::window, forms::main::remark, "x");
    EXPECT_EQ(layer_->text(forms::main::window, forms::main::remark), "备注一");
}

TEST_F(WindowLayerTest, PasswordBoxesMaskAndOnlyTheSetupBoxIsLimitedTo16) {
    layer_->load_window(forms::setup::window);
    layer_->load_window(forms::login::window);
    user_->type_text(forms::setup::window, forms::setup::password, "12345678901234567");
    EXPECT_EQ(layer_->text(forms::setup::window, forms::setup::password), "1234567890123456");
    user_->type_text(forms::login::window, forms::login::password, "12345678901234567890");
    EXPECT_EQ(layer_->text(forms::login::window, forms::login::password), "12345678901234567890");
    for (auto [window, box] :
         {std::pair{forms::setup::window, forms::setup::password}, {forms::login::window, forms::login::password}}) {
        auto* edit = top(window)->findChild<QLineEdit*>(to_qt(box));
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(edit->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        EXPECT_EQ(edit->displayText(), QString(edit->text().size(), u'*'));
    }
    auto* clear = top(forms::setup::window)->findChild<QLineEdit*>(to_qt(forms::setup::password));
    EXPECT_EQ(clear->maxLength(), 16);
}

TEST_F(WindowLayerTest, DigitsBoxRefusesLettersButTakesDigitsAndMinus) {
    layer_->load_window(forms::generator::window);
    user_->type_text(forms::generator::window, forms::generator::length, "1a2-b3 ");
    EXPECT_EQ(layer_->text(forms::generator::window, forms::generator::length), "12-3");
    user_->type_text(forms::generator::window, forms::generator::result, "多行\r\n");
    EXPECT_EQ(layer_->text(forms::generator::window, forms::generator::result), "多行\r\n");
}

TEST_F(WindowLayerTest, CheckBoxesToggleOnClick) {
    layer_->load_window(forms::generator::window);
    EXPECT_FALSE(layer_->is_checked(forms::generator::window, forms::generator::symbols));
    user_->click(forms::generator::window, forms::generator::symbols);
    EXPECT_TRUE(layer_->is_checked(forms::generator::window, forms::generator::symbols));
    layer_->set_checked(forms::generator::window, forms::generator::symbols, false);
    EXPECT_FALSE(layer_->is_checked(forms::generator::window, forms::generator::symbols));
}

TEST_F(WindowLayerTest, DisabledButtonsCannotBePressedAndHiddenFlagsHold) {
    int uploads = 0;
    layer_->bind(forms::ftp::window, forms::ftp::upload, Event::kClicked, [&](int, int) { ++uploads; });
    layer_->load_window(forms::ftp::window);
    EXPECT_FALSE(layer_->is_enabled(forms::ftp::window, forms::ftp::upload));
    EXPECT_FALSE(layer_->is_enabled(forms::ftp::window, forms::ftp::download));
    user_->click(forms::ftp::window, forms::ftp::upload);
    EXPECT_EQ(uploads, 0);
    layer_->set_enabled(forms::ftp::window, forms::ftp::upload, true);
    user_->click(forms::ftp::window, forms::ftp::upload);
    EXPECT_EQ(uploads, 1);

    layer_->load_window(forms::main::window);
    EXPECT_FALSE(layer_->is_visible(forms::main::window, forms::main::update_notice));
    EXPECT_FALSE(layer_->is_visible(forms::main::window, forms::main::hot_keys));
    EXPECT_TRUE(layer_->is_visible(forms::main::window, forms::main::list));
    layer_->set_visible(forms::main::window, forms::main::update_notice, true);
    EXPECT_TRUE(layer_->is_visible(forms::main::window, forms::main::update_notice));
    EXPECT_EQ(top(forms::main::window)->findChild<QMenuBar*>(), nullptr) << "the main window shows no menu bar";
}

TEST_F(WindowLayerTest, WindowsAreFixedSizeWithoutMaximiseAndHoldTheirControls) {
    for (std::string_view name : {forms::main::window, forms::login::window, forms::setup::window, forms::ftp::window,
                                  forms::record::window, forms::generator::window}) {
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
    QWidget* main = top(forms::main::window);
    EXPECT_EQ(main->size(), QSize(463 - 6, 384 - 29));
    auto* group = main->findChild<QWidget*>(to_qt(forms::main::data_group));
    EXPECT_EQ(group->geometry(), QRect(5, 0, 448, 352));
}

TEST_F(WindowLayerTest, ListHiddenColumnsHoldDataAndMissingRowsReadEmpty) {
    layer_->load_window(forms::main::window);
    std::string_view list = forms::main::list;
    layer_->list_append_rows(forms::main::window, list,
                             {{"1", "平台一", "账号", "密文", "网址", "备注一"}, {"2", "平台二"}});
    int row = layer_->list_append_row(forms::main::window, list);
    EXPECT_EQ(row, 2);
    layer_->list_set_cell(forms::main::window, list, row, 0, "3");
    layer_->list_set_cell(forms::main::window, list, row, 5, "备注三");
    layer_->list_set_cell_data(forms::main::window, list, row, 3, "隐藏数据");
    EXPECT_EQ(layer_->list_row_count(forms::main::window, list), 3);
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 0, 5), "备注一");
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 2, 0), "3");
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 1, 5), "");
    EXPECT_EQ(layer_->list_cell_data(forms::main::window, list, 2, 3), "隐藏数据");
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 2, 3), "");
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, -1, 1), "");
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 9, 1), "");

    auto* tree = top(forms::main::window)->findChild<QTreeWidget*>(to_qt(forms::main::list));
    ASSERT_NE(tree, nullptr);
    EXPECT_TRUE(tree->header()->isSectionHidden(0));
    EXPECT_TRUE(tree->header()->isSectionHidden(5));
    EXPECT_EQ(tree->columnWidth(1), 100);
    EXPECT_EQ(tree->columnWidth(2), 120);
    EXPECT_EQ(tree->columnWidth(3), 110);
    EXPECT_EQ(tree->columnWidth(4), 90);
    EXPECT_EQ(tree->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(tree->selectionBehavior(), QAbstractItemView::SelectRows);

    EXPECT_EQ(layer_->list_selected_row(forms::main::window, list), -1);
    layer_->list_select_row(forms::main::window, list, 1);
    EXPECT_EQ(layer_->list_selected_row(forms::main::window, list), 1);
    layer_->list_clear(forms::main::window, list);
    EXPECT_EQ(layer_->list_row_count(forms::main::window, list), 0);
    EXPECT_EQ(layer_->list_selected_row(forms::main::window, list), -1);
}

TEST_F(WindowLayerTest, ListOperationsFromAWorkerThreadEachRunWhole) {
    layer_->load_window(forms::main::window);
    std::atomic<bool> done{false};
    std::vector<std::vector<std::string>> rows(10000, {"0", "平台", "账号", "密文", "网址", "备注"});
    int counted = -1;
    std::string cell;
    bool worker_on_window_thread = true;
    std::thread worker([&] {
        worker_on_window_thread = layer_->on_window_thread();
        layer_->list_clear(forms::main::window, forms::main::list);
        layer_->list_append_rows(forms::main::window, forms::main::list, rows);
        int row = layer_->list_append_row(forms::main::window, forms::main::list);
        layer_->list_set_cell(forms::main::window, forms::main::list, row, 5, "最后");
        counted = layer_->list_row_count(forms::main::window, forms::main::list);
        cell = layer_->list_cell(forms::main::window, forms::main::list, row, 5);
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
    layer_->bind(forms::main::window, forms::main::idle_timer, Event::kTick, [&](int, int) { ++ticks; });
    layer_->load_window(forms::main::window);
    layer_->wait_processing_events(30);
    EXPECT_EQ(ticks, 0) << "a timer of interval 0 never ticks";
    layer_->set_timer_interval(forms::main::window, forms::main::idle_timer, 5);
    for (int i = 0; i < 1000 && ticks < 2; ++i) layer_->wait_processing_events(5);
    EXPECT_GE(ticks, 2);
    layer_->set_timer_interval(forms::main::window, forms::main::idle_timer, 0);
    int stopped_at = ticks;
    layer_->wait_processing_events(30);
    EXPECT_EQ(ticks, stopped_at);
}

TEST_F(WindowLayerTest, DestroyedWindowsTimerStopsTicking) {
    int ticks = 0;
    layer_->bind(forms::main::window, forms::main::idle_timer, Event::kTick, [&](int, int) { ++ticks; });
    layer_->bind(forms::main::window, "", Event::kCreated,
                 [&](int, int) { layer_->set_timer_interval(forms::main::window, forms::main::idle_timer, 1); });
    layer_->load_window(forms::main::window);
    layer_->destroy_window(forms::main::window);
    layer_->wait_processing_events(30);
    EXPECT_EQ(ticks, 0);
}

TEST_F(WindowLayerTest, DisabledMenuItemsCannotBeChosenAndGreySubMenus) {
    std::vector<std::string> chosen;
    for (const char* item : {"新增", "删除", "复制账号", "刷新"}) {
        layer_->bind(forms::main::window, item, Event::kChosen, [&, item](int, int) { chosen.push_back(item); });
    }
    layer_->load_window(forms::main::window);
    layer_->set_menu_item_enabled(forms::main::window, forms::main::menu::remove, false);
    layer_->set_menu_item_enabled(forms::main::window, forms::main::menu::copy, false);
    EXPECT_FALSE(layer_->is_menu_item_enabled(forms::main::window, forms::main::menu::remove));
    for (const char* item : {"新增", "删除", "复制账号", "刷新", "查询"})
        user_->choose_menu_item(forms::main::window, item);
    EXPECT_EQ(chosen, (std::vector<std::string>{"新增", "刷新"}));

    ui::set_dialog_script(&dialogs_);
    layer_->popup_menu(forms::main::window, forms::main::menu::root, layer_->cursor_position());
    EXPECT_FALSE(dialogs_.last_popup_item_enabled(forms::main::menu::remove));
    EXPECT_FALSE(dialogs_.last_popup_item_enabled(forms::main::menu::copy));
    EXPECT_FALSE(dialogs_.last_popup_item_enabled(forms::main::menu::copy_password));
    EXPECT_TRUE(dialogs_.last_popup_item_enabled(forms::main::menu::add));
    EXPECT_TRUE(dialogs_.last_popup_item_enabled(forms::main::menu::search_address));
    EXPECT_TRUE(dialogs_.last_popup_item_enabled(forms::main::menu::reveal_password));
}

TEST_F(WindowLayerTest, MouseEventsReachWindowGroupBoxAndList) {
    std::vector<std::string_view> moved;
    for (std::string_view control : {std::string_view(), forms::main::data_group, forms::main::list}) {
        layer_->bind(forms::main::window, control, Event::kMouseMoved,
                     [&, control](int, int) { moved.push_back(control); });
    }
    int right = 0, clicked = 0, link = 0;
    layer_->bind(forms::main::window, forms::main::list, Event::kRightButtonPressed, [&](int, int) { ++right; });
    layer_->bind(forms::main::window, forms::main::list, Event::kClicked, [&](int, int) { ++clicked; });
    layer_->bind(forms::main::window, forms::main::update_notice, Event::kRightButtonPressed,
                 [&](int, int) { ++link; });
    layer_->load_window(forms::main::window);
    user_->move_mouse_over(forms::main::window, forms::main::list);
    user_->move_mouse_over(forms::main::window, forms::main::data_group);
    user_->move_mouse_over(forms::main::window, "");
    EXPECT_EQ(moved, (std::vector<std::string_view>{forms::main::list, forms::main::data_group, ""}));
    user_->right_click(forms::main::window, forms::main::list);
    user_->click(forms::main::window, forms::main::list);
    user_->right_click(forms::main::window, forms::main::update_notice);  // hidden: out of reach
    layer_->set_visible(forms::main::window, forms::main::update_notice, true);
    user_->right_click(forms::main::window, forms::main::update_notice);
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
    layer_->balloon_tip(forms::login::window, forms::login::tip, "请输入密码", layer_->cursor_position());

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
    layer_->bind(forms::main::window, forms::main::log_out, Event::kClicked, [&](int, int) {
        layer_->load_window(forms::login::window);
        layer_->destroy_window(forms::main::window);
    });
    layer_->load_window(forms::main::window);
    std::vector<std::string> steps;
    layer_->post([&] {
        user_->click(forms::main::window, forms::main::log_out);
        layer_->post([&] {
            steps.push_back(layer_->is_open(forms::login::window) ? "login open" : "login closed");
            layer_->destroy_window(forms::login::window);
        });
    });
    EXPECT_EQ(layer_->run(), 0);
    EXPECT_EQ(steps, (std::vector<std::string>{"login open"}));
    EXPECT_FALSE(layer_->is_open(forms::login::window));
}

}  // namespace
}  // namespace quillet::ui
