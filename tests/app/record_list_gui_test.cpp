// The main list and the record window together, on the offscreen window layer with a
// real store.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/main_list.h"
#include "app/record_store.h"
#include "app/record_window.h"
#include "app/text_cipher.h"
#include "app_gui_fixture.h"
#include "db/database_handle.h"
#include "platform/program_dir.h"
#include "platform/recording_shell.h"
#include "record_store_fixture.h"
#include "tests/ftp/ftp_test_server.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using ui::Event;
namespace forms = quillet::ui::forms;
using Kind = ui::ShownDialog::Kind;

constexpr char kAdded[] = "数据添加成功，可继续添加数据或返回数据页";

class RecordListGuiTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) {
            bind_record_commands(state);
            bind_record_window(state);
        });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        create_record_store();
        state().session_password = platform::SecretText(kStorePassword);
        platform::set_shell(&shell_);
    }

    void TearDown() override {
        settle();
        platform::set_shell(nullptr);
        AppGuiTest::TearDown();
    }

    // Lets worker loads finish and their rows reach the list.
    void settle() {
        wait_for_list_loads();
        windows().process_events();
    }

    void open_main() {
        windows().load_window(forms::main::window);
        settle();
    }

    void store(const std::string& platform, const std::string& password = "pw", const std::string& address = "",
               const std::string& remark = "") {
        ASSERT_EQ(add_record(kStorePassword, {platform, "acct_" + platform, password, address, remark}),
                  WriteResult::kDone);
    }

    std::vector<std::string> column(int column) {
        std::vector<std::string> cells;
        const int rows = windows().list_row_count(forms::main::window, forms::main::list);
        for (int row = 0; row < rows; ++row)
            cells.push_back(windows().list_cell(forms::main::window, forms::main::list, row, column));
        return cells;
    }

    void select(int row) { windows().list_select_row(forms::main::window, forms::main::list, row); }

    void fill_record_window(const RecordText& text) {
        const std::pair<std::string_view, const std::string*> boxes[] = {{forms::record::platform, &text.platform},
                                                                    {forms::record::account, &text.account},
                                                                    {forms::record::password, &text.password},
                                                                    {forms::record::address, &text.address},
                                                                    {forms::record::remark, &text.remark}};
        for (const auto& [box, value] : boxes) windows().set_text(forms::record::window, box, *value);
    }

    std::string box(std::string_view name) { return windows().text(forms::record::window, name); }

    void query(std::string_view item, bool confirmed, const std::string& text) {
        dialogs().answer_input(confirmed, text);
        user().choose_menu_item(forms::main::window, item);
    }

    platform::RecordingShell shell_;
};

TEST_F(RecordListGuiTest, ListShowsEveryRecordWithTheCipherTextKeptApart) {
    store("alpha", "one", "a.example", "first");
    store("beta", "two");
    open_main();
    EXPECT_EQ(column(kIdColumn), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(column(kPlatformColumn), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(column(kAccountColumn), (std::vector<std::string>{"acct_alpha", "acct_beta"}));
    EXPECT_EQ(column(kPasswordColumn),
              (std::vector<std::string>{encipher("one", kCipherKey), encipher("two", kCipherKey)}));
    EXPECT_EQ(column(kAddressColumn), (std::vector<std::string>{"a.example", ""}));
    EXPECT_EQ(column(kRemarkColumn), (std::vector<std::string>{"first", ""}));
    EXPECT_EQ(row_password_cipher(windows(), 1), encipher("two", kCipherKey));

    select(0);
    windows().raise(forms::main::window, forms::main::list, Event::kClicked);
    EXPECT_EQ(windows().text(forms::main::window, forms::main::remark), "first");
}

TEST_F(RecordListGuiTest, AddsInARowGetConsecutiveIdsAndEmptyTheBoxes) {
    open_main();
    user().choose_menu_item(forms::main::window, forms::main::menu::add);
    ASSERT_TRUE(windows().is_open(forms::record::window));
    fill_record_window({"平台一", "账号", "密码", "www.example.com", "备注"});
    user().click(forms::record::window, forms::record::confirm);
    EXPECT_EQ(messages(), std::vector<std::string>{kAdded});
    for (std::string_view name : {forms::record::platform, forms::record::account, forms::record::password,
                                  forms::record::address, forms::record::remark}) {
        EXPECT_EQ(box(name), "") << name;
    }
    user().click(forms::record::window, forms::record::confirm);  // every box empty is a valid record
    EXPECT_EQ(messages(), std::vector<std::string>{kAdded});
    EXPECT_TRUE(windows().is_open(forms::record::window));
    EXPECT_EQ(column(kIdColumn), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(column(kPlatformColumn), (std::vector<std::string>{"平台一", ""}));
    EXPECT_EQ(decipher(row_password_cipher(windows(), 0), kCipherKey), "密码");
}

TEST_F(RecordListGuiTest, OverlongValuesAreRefusedWithTheirLimitAndTheBoxesKept) {
    open_main();
    user().choose_menu_item(forms::main::window, forms::main::menu::add);
    const std::string password(124, 'p');
    fill_record_window({"p", "a", password, "", ""});
    user().click(forms::record::window, forms::record::confirm);
    std::vector<std::string> shown = messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("密码"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("123"), std::string::npos) << shown[0];
    EXPECT_EQ(box(forms::record::password), password);

    fill_record_window({"p", "a", std::string(123, 'p'), "", std::string(256, 'r')});
    user().click(forms::record::window, forms::record::confirm);
    shown = messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("备注"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("255"), std::string::npos) << shown[0];
    EXPECT_EQ(box(forms::record::remark), std::string(256, 'r'));
    EXPECT_TRUE(list_records(kStorePassword).empty());
    EXPECT_EQ(windows().list_row_count(forms::main::window, forms::main::list), 0);
}

TEST_F(RecordListGuiTest, AddWithoutAFreeIdSaysSoAndKeepsTheBoxes) {
    store("first");
    {
        // Give the only record the largest ID there is.
        db::Database db;
        db::AccessOptions options;
        options.password = kStorePassword;
        ASSERT_TRUE(db::Database::open(platform::program_file("data.edb"), options, &db).ok());
        ASSERT_TRUE(db.modify(0, {db::Value(std::int32_t{INT32_MAX})}).ok());
    }
    open_main();
    user().choose_menu_item(forms::main::window, forms::main::menu::add);
    fill_record_window({"p", "a", "pw", "", ""});
    user().click(forms::record::window, forms::record::confirm);
    const std::vector<std::string> shown_messages = messages();
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(shown_messages[0].rfind("数据添加失败", 0), 0u) << shown_messages[0];
    EXPECT_NE(shown_messages[0].find("2147483647"), std::string::npos) << shown_messages[0];
    EXPECT_EQ(box(forms::record::platform), "p");
    EXPECT_EQ(list_records(kStorePassword).size(), 1u);
    EXPECT_EQ(column(kIdColumn), std::vector<std::string>{"2147483647"});
}

TEST_F(RecordListGuiTest, TextGbkCannotHoldIsRefusedNamingTheBoxAndNothingIsStored) {
    open_main();
    user().choose_menu_item(forms::main::window, forms::main::menu::add);
    fill_record_window({"p", "a", "pw", "", ""});
    user().type_utf8(forms::record::window, forms::record::account, "\xF0\x9F\x98\x80");  // an emoji
    user().click(forms::record::window, forms::record::confirm);
    EXPECT_EQ(messages(), std::vector<std::string>{"账号含有无法保存的字符（如表情符号、生僻字），未保存"});
    EXPECT_TRUE(list_records(kStorePassword).empty());
    EXPECT_TRUE(windows().is_open(forms::record::window));

    fill_record_window({"p", "a", "pw", "", ""});
    user().type_utf8(forms::record::window, forms::record::remark, "\xF0\xA0\x80\x80");  // a CJK extension B character
    user().click(forms::record::window, forms::record::confirm);
    EXPECT_EQ(messages(), std::vector<std::string>{"备注含有无法保存的字符（如表情符号、生僻字），未保存"});
    EXPECT_TRUE(list_records(kStorePassword).empty());
}

TEST_F(RecordListGuiTest, StoredQuestionMarksAreShownAsTheyAreAndSaveAgain) {
    store("why?", "p?w");
    open_main();
    EXPECT_EQ(column(kPlatformColumn), std::vector<std::string>{"why?"});
    select(0);
    user().choose_menu_item(forms::main::window, forms::main::menu::modify);
    EXPECT_EQ(box(forms::record::platform), "why?");
    EXPECT_EQ(box(forms::record::password), "p?w");
    user().click(forms::record::window, forms::record::confirm);
    EXPECT_EQ(messages(), std::vector<std::string>{"数据修改成功"});

    // A modification with an emoji leaves the record as it was.
    select(0);
    user().choose_menu_item(forms::main::window, forms::main::menu::modify);
    user().type_utf8(forms::record::window, forms::record::password, "\xF0\x9F\x94\x91");
    user().click(forms::record::window, forms::record::confirm);
    EXPECT_EQ(messages(), std::vector<std::string>{"密码含有无法保存的字符（如表情符号、生僻字），未保存"});
    const std::vector<Record> records = list_records(kStorePassword);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].platform, "why?");
    EXPECT_EQ(decipher(records[0].password_cipher, kCipherKey), "p?w");
}

TEST_F(RecordListGuiTest, QueriesMatchCaseSensitiveContainmentAndCancelKeepsTheList) {
    for (const char* platform : {"GitHub", "MyGitLab", "forGit", "github", "Other"}) store(platform);
    store("addr", "pw", "https://shop.example/cart");
    open_main();

    query(forms::main::menu::search_platform, true, "Git");
    EXPECT_EQ(column(kPlatformColumn), (std::vector<std::string>{"GitHub", "MyGitLab", "forGit"}));
    query(forms::main::menu::search_platform, false, "Other");
    EXPECT_EQ(column(kPlatformColumn), (std::vector<std::string>{"GitHub", "MyGitLab", "forGit"}));
    const std::vector<ui::ShownDialog> dialogs = shown();
    ASSERT_FALSE(dialogs.empty());
    EXPECT_EQ(dialogs.back().kind, Kind::kInput);
    EXPECT_EQ(dialogs.back().text, "输入平台名");

    query(forms::main::menu::search_address, true, "shop");
    EXPECT_EQ(column(kIdColumn), (std::vector<std::string>{"6"}));
    EXPECT_EQ(shown().back().text, "输入网址");
    query(forms::main::menu::search_platform, true, "");
    EXPECT_EQ(windows().list_row_count(forms::main::window, forms::main::list), 0);
}

TEST_F(RecordListGuiTest, DeleteAsksFirstAndReloadsTheWholeList) {
    for (const char* platform : {"keep1", "gone", "keep2"}) store(platform);
    open_main();
    query(forms::main::menu::search_platform, true, "gone");
    select(0);
    user().choose_menu_item(forms::main::window, forms::main::menu::remove);  // unanswered question: No
    EXPECT_EQ(column(kPlatformColumn), (std::vector<std::string>{"gone"}));

    dialogs().answer_question(true);
    user().choose_menu_item(forms::main::window, forms::main::menu::remove);
    const std::vector<ui::ShownDialog> dialogs = shown();
    ASSERT_FALSE(dialogs.empty());
    EXPECT_EQ(dialogs.back().kind, Kind::kQuestion);
    EXPECT_EQ(dialogs.back().text, "确认删除该数据吗，删除后无法找回！");
    EXPECT_EQ(column(kPlatformColumn), (std::vector<std::string>{"keep1", "keep2"}));
    EXPECT_EQ(column(kIdColumn), (std::vector<std::string>{"1", "3"}));
}

TEST_F(RecordListGuiTest, RowCommandsAreOfferedOnlyWithASelectedRow) {
    store("a");
    open_main();
    select(-1);
    user().right_click(forms::main::window, forms::main::list);
    for (const char* item : {"删除", "修改", "复制", "密码", "访问"}) {
        EXPECT_FALSE(dialogs().last_popup_item_enabled(item)) << item;
    }
    for (const char* item : {"新增", "查询", "刷新"}) EXPECT_TRUE(dialogs().last_popup_item_enabled(item)) << item;

    select(0);
    user().right_click(forms::main::window, forms::main::list);
    for (const char* item : {"删除", "修改", "复制", "密码", "访问", "新增", "查询", "刷新"}) {
        EXPECT_TRUE(dialogs().last_popup_item_enabled(item)) << item;
    }
}

TEST_F(RecordListGuiTest, RevealingTwiceThenModifyingKeepsThePassword) {
    store("site", "hunter2");
    open_main();
    select(0);
    user().choose_menu_item(forms::main::window, forms::main::menu::reveal_password);
    user().choose_menu_item(forms::main::window, forms::main::menu::reveal_password);
    EXPECT_EQ(column(kPasswordColumn), std::vector<std::string>{"hunter2"});
    EXPECT_EQ(selected_password_cipher(windows()), encipher("hunter2", kCipherKey));

    user().choose_menu_item(forms::main::window, forms::main::menu::modify);
    ASSERT_TRUE(windows().is_open(forms::record::window));
    EXPECT_EQ(box(forms::record::password), "hunter2");
    EXPECT_EQ(box(forms::record::platform), "site");
    windows().set_text(forms::record::window, forms::record::account, "changed");
    user().click(forms::record::window, forms::record::confirm);
    EXPECT_EQ(messages(), std::vector<std::string>{"数据修改成功"});
    EXPECT_FALSE(windows().is_open(forms::record::window));

    const std::vector<Record> records = list_records(kStorePassword);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].account, "changed");
    EXPECT_EQ(decipher(records[0].password_cipher, kCipherKey), "hunter2");
    EXPECT_EQ(column(kAccountColumn), std::vector<std::string>{"changed"});
    EXPECT_EQ(column(kPasswordColumn), std::vector<std::string>{encipher("hunter2", kCipherKey)});
}

// Choosing "新增" or "修改" while the record window is open shows the window for the
// command chosen, not the boxes of the earlier one.
TEST_F(RecordListGuiTest, TheRecordWindowFollowsTheLatestCommand) {
    store("first", "one");
    store("second", "two");
    open_main();
    select(0);
    user().choose_menu_item(forms::main::window, forms::main::menu::modify);
    EXPECT_EQ(box(forms::record::platform), "first");
    select(1);
    user().choose_menu_item(forms::main::window, forms::main::menu::modify);
    EXPECT_EQ(box(forms::record::platform), "second");
    EXPECT_EQ(box(forms::record::password), "two");

    user().choose_menu_item(forms::main::window, forms::main::menu::add);
    EXPECT_EQ(box(forms::record::platform), "");
    fill_record_window({"third", "", "", "", ""});
    user().choose_menu_item(forms::main::window, forms::main::menu::add);  // already adding: the typed text stays
    EXPECT_EQ(box(forms::record::platform), "third");
    user().click(forms::record::window, forms::record::confirm);
    EXPECT_EQ(messages(), std::vector<std::string>{kAdded});
    EXPECT_EQ(column(kPlatformColumn), (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(RecordListGuiTest, ModifyOfARecordDeletedMeanwhileShowsNothingAndStaysOpen) {
    store("a");
    store("b");
    open_main();
    select(1);
    user().choose_menu_item(forms::main::window, forms::main::menu::modify);
    ASSERT_EQ(delete_record(kStorePassword, 2), WriteResult::kDone);
    user().click(forms::record::window, forms::record::confirm);
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(windows().is_open(forms::record::window));
    EXPECT_EQ(list_records(kStorePassword).size(), 1u);
}

// The second add to a store with "NO" for "ID" ended the program; now each add is refused
// with what is wrong, the window stays, and the file is as it was.
TEST_F(RecordListGuiTest, AddsToAStoreWithOtherFieldsAreRefusedWithAMessage) {
    create_foreign_store();
    const std::string before = test::read_file_bytes(platform::program_file("data.edb"));
    open_main();
    user().choose_menu_item(forms::main::window, forms::main::menu::add);
    for (int round = 0; round < 2; ++round) {
        fill_record_window({"x", "", "", "", ""});
        user().click(forms::record::window, forms::record::confirm);
        EXPECT_EQ(messages(), std::vector<std::string>{"数据添加失败：数据文件的字段结构不对，无法使用"});
        EXPECT_EQ(box(forms::record::platform), "x");
    }
    EXPECT_EQ(test::read_file_bytes(platform::program_file("data.edb")), before);
}

TEST_F(RecordListGuiTest, StoreThatDoesNotOpenGivesEmptyListsAndFailedAdds) {
    store("a");
    state().session_password = platform::SecretText("not the store's password");
    open_main();
    EXPECT_EQ(windows().list_row_count(forms::main::window, forms::main::list), 0);
    query(forms::main::menu::search_platform, true, "a");
    EXPECT_EQ(windows().list_row_count(forms::main::window, forms::main::list), 0);
    user().choose_menu_item(forms::main::window, forms::main::menu::add);
    fill_record_window({"x", "", "", "", ""});
    user().click(forms::record::window, forms::record::confirm);
    EXPECT_EQ(messages(), std::vector<std::string>{"数据添加失败"});
    EXPECT_EQ(box(forms::record::platform), "x");
}

TEST_F(RecordListGuiTest, VisitOpensOnlyWebAddresses) {
    store("bare", "pw", "www.example.com");
    store("https", "pw", "https://example.org/login");
    store("file", "pw", "file:///etc/passwd");
    store("program", "pw", "/usr/bin/xterm");
    open_main();
    for (int row = 0; row < 4; ++row) {
        select(row);
        user().choose_menu_item(forms::main::window, forms::main::menu::visit);
    }
    EXPECT_EQ(shell_.opened(), (std::vector<std::string>{"http://www.example.com", "https://example.org/login"}));
}

// Worker loads keep starting while the window thread adds and deletes; whatever order the
// threads ran in, the list ends as one whole copy of the store.
TEST_F(RecordListGuiTest, OverlappingLoadsNeverMixRows) {
    open_main();
    for (int round = 0; round < 40; ++round) {
        start_list_load(state());
        ASSERT_EQ(add_record(kStorePassword, {"p" + std::to_string(round), "", "", "", ""}), WriteResult::kDone);
        start_list_load(state());
        if (round % 3 == 0) load_list(state());
        if (round % 4 == 0 && round > 0) {
            ASSERT_EQ(delete_record(kStorePassword, round), WriteResult::kDone);
            load_list(state());
        }
        windows().process_events();
    }
    settle();
    std::vector<std::string> expected;
    for (const Record& record : list_records(kStorePassword)) expected.push_back(std::to_string(record.id));
    EXPECT_EQ(column(kIdColumn), expected);
    EXPECT_EQ(expected.size(), 31u);
}

// A worker load that read the store before a change must not replace the list that the
// change's own reload showed.
TEST_F(RecordListGuiTest, AStaleLoadNeverReplacesANewerOne) {
    store("old");
    open_main();
    start_list_load(state());
    wait_for_list_loads();  // its rows are read and waiting for the window thread
    store("new");
    load_list(state());
    windows().process_events();
    EXPECT_EQ(column(kPlatformColumn), (std::vector<std::string>{"old", "new"}));
}

// A long list fills in several window-thread steps; a query shown meanwhile must not get
// the remaining rows of the load appended to it.
TEST_F(RecordListGuiTest, ALongFillStopsWhenANewerListIsShown) {
    constexpr int kRecords = 4500;
    // Built in memory-backed storage: the engine syncs every append to disk. (Under Wine
    // the same storage is reached through drive Z:.)
    const std::string file = platform::program_file("data.edb");
    std::filesystem::path memory = dir_;
    for (const char* candidate : {"/dev/shm", "Z:/dev/shm"}) {
        if (std::filesystem::is_directory(candidate)) {
            memory = candidate;
            break;
        }
    }
    const std::filesystem::path scratch = memory / "quillet_long_list";
    std::filesystem::create_directories(scratch);
    platform::set_program_directory_for_testing(scratch.string());
    create_record_store();
    {
        db::Database db;
        db::AccessOptions options;
        options.password = kStorePassword;
        ASSERT_TRUE(db::Database::open(platform::program_file("data.edb"), options, &db).ok());
        for (int id = 1; id <= kRecords; ++id) {
            ASSERT_TRUE(db.append({db::Value(id), db::Value(id == 7 ? "needle" : "hay"), db::Value(""),
                                   db::Value(encipher("", kCipherKey)), db::Value(""), db::Value("")})
                            .ok());
        }
    }
    std::filesystem::copy_file(scratch / "data.edb", file, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove_all(scratch);
    platform::set_program_directory_for_testing(dir_.string());

    open_main();
    for (int turn = 0; turn < 100 && windows().list_row_count(forms::main::window, forms::main::list) < kRecords;
         ++turn) {
        windows().process_events();
    }
    ASSERT_EQ(windows().list_row_count(forms::main::window, forms::main::list), kRecords);

    load_list(state());  // fills its first step now and posts the rest
    query(forms::main::menu::search_platform, true, "needle");
    for (int turn = 0; turn < 10; ++turn) windows().process_events();
    EXPECT_EQ(column(kIdColumn), std::vector<std::string>{"7"});
}

}  // namespace
}  // namespace quillet::app
