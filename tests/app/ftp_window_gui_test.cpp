#include <filesystem>
#include <thread>

#include "app/ftp_password.h"
#include "app/ftp_window.h"
#include "app/main_list.h"
#include "app/record_store.h"
#include "app/session.h"
#include "app/store_sync.h"
#include "app/text_cipher.h"
#include "platform/manual_clock.h"
#include "platform/settings_file.h"
#include "tests/app/sync_window_fixture.h"
#include "tests/ftp/ftp_test_server.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using test::read_file_bytes;
using test::TestFtpServer;
using test::write_file_bytes;
namespace forms = quillet::ui::forms;

class FtpWindowTest : public SyncWindowTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ready());
        program_client().set_timeouts({5000, 30});
        SyncWindowTest::SetUp();
    }

    std::string stored(const char* key) { return platform::read_setting(path("ftp.ini"), "ftp", key); }
    // The FTP password ftp.ini keeps, as this session's key opens it.
    std::string stored_password() {
        platform::LockedBytes opened;
        if (!open_ftp_password(session_ftp_key(state()), stored("password"), &opened)) return "<does not open>";
        return std::string(opened.view());
    }

    void open_ftp_window(const TestFtpServer& server, const std::string& password = TestFtpServer::kPassword) {
        user().click(forms::main::window, forms::main::open_ftp);
        ASSERT_TRUE(windows().is_open(forms::ftp::window));
        // Typing adds to what the window kept from an earlier connect.
        for (std::string_view box :
             {forms::ftp::address, forms::ftp::port, forms::ftp::account, forms::ftp::password, forms::ftp::path}) {
            windows().set_text(forms::ftp::window, box, "");
        }
        user().type_text(forms::ftp::window, forms::ftp::address, "127.0.0.1");
        user().type_text(forms::ftp::window, forms::ftp::port, std::to_string(server.port()));
        user().type_text(forms::ftp::window, forms::ftp::account, TestFtpServer::kUser);
        user().type_text(forms::ftp::window, forms::ftp::password, password);
        user().type_text(forms::ftp::window, forms::ftp::path, "/store");
    }

    // Connects, answering "是" to the one question a server not met before brings (plain
    // FTP, or pinning its certificate).
    void connect(bool asks = true) {
        if (asks) dialogs().answer_question(true);
        click_connect();
    }
    // The button stays disabled while the connect runs.
    void click_connect() {
        user().click(forms::ftp::window, forms::ftp::connect);
        wait_until([&] { return enabled(forms::ftp::connect); });
    }
    // The texts of the questions shown since the last call.
    std::vector<std::string> questions() { return shown_texts(ui::ShownDialog::Kind::kQuestion); }
    std::string trust() { return decipher(stored("zhengshu"), kCipherKey); }
    std::string server_name(const TestFtpServer& server) { return "127.0.0.1:" + std::to_string(server.port()); }

    // Clicks a transfer button, answers the confirmation (and then `more` questions, in
    // order) and waits for the result.
    std::vector<ui::ShownDialog> transfer(std::string_view button, bool yes = true, std::vector<bool> more = {}) {
        shown();
        dialogs().answer_question(yes);
        for (bool answer : more) dialogs().answer_question(answer);
        user().click(forms::ftp::window, button);
        std::vector<ui::ShownDialog> dialogs = shown();
        if (yes) {
            wait_until([&] {
                for (const ui::ShownDialog& dialog : shown()) dialogs.push_back(dialog);
                return dialogs.back().kind == ui::ShownDialog::Kind::kMessage;
            });
        }
        return dialogs;
    }

    // A copy of the local store with different records, placed on the server.
    void put_server_store(const std::string& password, int records) {
        const std::string saved = read_file_bytes(path("data.edb"));
        create_record_store(password);
        for (int i = 0; i < records; ++i) add_record(password, {"远端", "acc", "pw", "", ""});
        write_file_bytes(server_.file("store/data.edb"), read_file_bytes(path("data.edb")));
        write_file_bytes(path("data.edb"), saved);
    }

    TestFtpServer server_;
};

TEST_F(FtpWindowTest, SettingsAreKeptEncipheredAndThePortAsTyped) {
    user().click(forms::main::window, forms::main::open_ftp);
    for (std::string_view box :
         {forms::ftp::address, forms::ftp::port, forms::ftp::account, forms::ftp::password, forms::ftp::path}) {
        EXPECT_EQ(windows().text(forms::ftp::window, box), "") << box;
    }
    EXPECT_FALSE(enabled(forms::ftp::upload));
    EXPECT_FALSE(enabled(forms::ftp::download));

    user().type_text(forms::ftp::window, forms::ftp::address, "127.0.0.1");
    user().type_text(forms::ftp::window, forms::ftp::port, std::to_string(server_.port()) + "x");
    user().type_text(forms::ftp::window, forms::ftp::account, TestFtpServer::kUser);
    user().type_text(forms::ftp::window, forms::ftp::password, TestFtpServer::kPassword);
    connect();
    EXPECT_EQ(caption(), "FTP - 连接成功");
    EXPECT_TRUE(enabled(forms::ftp::upload));
    EXPECT_TRUE(enabled(forms::ftp::download));
    EXPECT_TRUE(enabled(forms::ftp::connect));
    EXPECT_NE(stored("duankou"), std::to_string(server_.port()) + "x");
    EXPECT_EQ(decipher(stored("duankou"), kCipherKey), std::to_string(server_.port()) + "x");
    EXPECT_EQ(decipher(stored("fuwuqi"), kCipherKey), "127.0.0.1");
    EXPECT_EQ(decipher(stored("name"), kCipherKey), TestFtpServer::kUser);
    EXPECT_EQ(stored_password(), TestFtpServer::kPassword);
    EXPECT_EQ(decipher(stored("password"), kCipherKey), "") << "still under the text cipher";
    EXPECT_EQ(stored("lu"), "");

    // Reopening starts unconnected, with the saved settings.
    windows().destroy_window(forms::ftp::window);
    EXPECT_FALSE(program_client().is_connected());
    user().click(forms::main::window, forms::main::open_ftp);
    EXPECT_EQ(windows().text(forms::ftp::window, forms::ftp::port), std::to_string(server_.port()) + "x");
    EXPECT_EQ(windows().text(forms::ftp::window, forms::ftp::password), TestFtpServer::kPassword);
    EXPECT_FALSE(enabled(forms::ftp::upload));
    EXPECT_EQ(caption(), "FTP");
}

TEST_F(FtpWindowTest, AFailedConnectDisablesTheTransfersAndStillSavesTheSettings) {
    open_ftp_window(server_, "wrong");
    connect();
    EXPECT_EQ(caption(), "FTP - 连接失败：账号或密码错误");
    EXPECT_FALSE(enabled(forms::ftp::upload));
    EXPECT_FALSE(enabled(forms::ftp::download));
    EXPECT_TRUE(enabled(forms::ftp::connect));
    EXPECT_EQ(stored_password(), "wrong");
    // The caption is cut at the group box's width; the box shows the reason whole.
    EXPECT_EQ(messages(), std::vector<std::string>{"FTP - 连接失败：账号或密码错误"});
}

// What to fix shows after the caption. The host under the reserved "invalid" domain is
// answered without a resolver; the refusing port is that of a server just stopped.
TEST_F(FtpWindowTest, AFailedConnectNamesItsReasonInTheCaption) {
    const auto caption_for = [&](const std::string& host, int port) {
        user().click(forms::main::window, forms::main::open_ftp);
        windows().set_text(forms::ftp::window, forms::ftp::address, host);
        windows().set_text(forms::ftp::window, forms::ftp::port, std::to_string(port));
        windows().set_text(forms::ftp::window, forms::ftp::account, TestFtpServer::kUser);
        windows().set_text(forms::ftp::window, forms::ftp::password, TestFtpServer::kPassword);
        click_connect();
        EXPECT_FALSE(enabled(forms::ftp::upload));
        EXPECT_EQ(messages(), std::vector<std::string>{caption()});
        return caption();
    };
    EXPECT_EQ(caption_for("quillet-test.invalid", server_.port()), "FTP - 连接失败：找不到主机，请检查服务器地址");

    TestFtpServer gone;
    ASSERT_TRUE(gone.ready());
    const int closed_port = gone.port();
    gone.stop();
    EXPECT_EQ(caption_for("127.0.0.1", closed_port), "FTP - 连接失败：服务器拒绝连接，请检查端口");

    TestFtpServer silent("--silent");
    ASSERT_TRUE(silent.ready());
    program_client().set_timeouts({200, 1});
    EXPECT_EQ(caption_for("127.0.0.1", silent.port()), "FTP - 连接失败：连接超时，服务器没有响应");
    EXPECT_EQ(caption_for("127.0.0.1", 70000), "FTP - 连接失败：地址、端口或账号无效");
}

// A folder from before the password was sealed: its value is read once and resealed;
// a value that does not open (another login password's, or damaged) shows an empty box.
TEST_F(FtpWindowTest, AnOldPasswordValueIsResealedAndOneThatDoesNotOpenShowsEmpty) {
    ASSERT_TRUE(platform::write_setting(path("ftp.ini"), "ftp", "password", encipher("old-口令", kCipherKey)));
    user().click(forms::main::window, forms::main::open_ftp);
    EXPECT_EQ(windows().text(forms::ftp::window, forms::ftp::password), "old-口令");
    EXPECT_EQ(stored_password(), "old-口令");
    windows().destroy_window(forms::ftp::window);

    const std::string sealed = stored("password");
    for (const std::string& unopenable : {seal_ftp_password(*derive_ftp_key({}, "other login"), "x"),
                                          sealed.substr(0, sealed.size() - 2), std::string("QF1.garbage")}) {
        ASSERT_TRUE(platform::write_setting(path("ftp.ini"), "ftp", "password", unopenable));
        user().click(forms::main::window, forms::main::open_ftp);
        EXPECT_EQ(windows().text(forms::ftp::window, forms::ftp::password), "") << unopenable;
        windows().destroy_window(forms::ftp::window);
    }
}

TEST_F(FtpWindowTest, UploadThenDownloadRestoresTheUploadedRecordsAndKeepsABackup) {
    open_ftp_window(server_);
    connect();
    auto dialogs = transfer(forms::ftp::upload);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0].text, "上传FTP数据会将FTP上数据覆盖，点击‘是’开始上传");
    EXPECT_EQ(dialogs[1].text, "上传成功");
    EXPECT_EQ(caption(), "FTP - 上传成功");
    EXPECT_EQ(read_file_bytes(server_.file("store/data.edb")), read_file_bytes(path("data.edb")));
    EXPECT_EQ(decipher(stored("lu"), kCipherKey), "/store");

    ASSERT_EQ(add_record(kStorePassword, {"平台三", "账号三", "pw3", "", ""}), WriteResult::kDone);
    const std::string three_records = read_file_bytes(path("data.edb"));
    windows().list_clear(forms::main::window, forms::main::list);
    // The local store changed since the upload: not merging, but replacing.
    dialogs = transfer(forms::ftp::download, true, {false, true});
    ASSERT_EQ(dialogs.size(), 4u);
    EXPECT_EQ(dialogs[0].text,
              "下载FTP数据会将本地数据覆盖，如发现数据不全，将本地data备份文件修改为data.edb即可，点击‘是’开始下载");
    EXPECT_EQ(dialogs[1].text, kDownloadMergeQuestion);
    EXPECT_EQ(dialogs[2].text, kDownloadReplaceQuestion);
    EXPECT_EQ(dialogs[3].text, "下载成功");
    EXPECT_EQ(caption(), "FTP - 下载成功");
    EXPECT_TRUE(enabled(forms::ftp::download));
    wait_until([&] { return list_rows() == 2; });
    EXPECT_EQ(read_file_bytes(path("data2021-10-6.edb")), three_records);
    EXPECT_EQ(list_records(kStorePassword).size(), 2u);
}

// The records of the store, as "平台/账号/password" texts in ID order.
std::vector<std::string> texts_of(const std::vector<Record>& records) {
    std::vector<std::string> texts;
    for (const Record& r : records) {
        texts.push_back(std::to_string(r.id) + " " + r.platform + "/" + r.account + "/" +
                        decipher(r.password_cipher, kCipherKey));
    }
    return texts;
}

TEST_F(FtpWindowTest, TwoFoldersSyncingInTurnLoseNoEdit) {
    const std::string folder_a = dir_.string();
    const std::filesystem::path folder_b = dir_ / "b";
    std::filesystem::create_directories(folder_b);
    auto use_folder = [](const std::string& folder) { platform::set_program_directory_for_testing(folder); };
    open_ftp_window(server_);
    connect();

    // A uploads its two records; B, new, downloads them.
    EXPECT_EQ(transfer(forms::ftp::upload).back().text, "上传成功");
    use_folder(folder_b.string());
    create_record_store();
    EXPECT_EQ(transfer(forms::ftp::download).back().text, "下载成功");
    ASSERT_EQ(list_records(kStorePassword).size(), 2u);

    // A adds and uploads: the server's copy is still the base, so no question.
    use_folder(folder_a);
    ASSERT_EQ(add_record(kStorePassword, {"A新", "a", "pa", "", ""}), WriteResult::kDone);
    auto dialogs = transfer(forms::ftp::upload);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].text, "上传成功");

    // B adds its own record under the same new ID and changes one, then downloads and merges.
    use_folder(folder_b.string());
    ASSERT_EQ(add_record(kStorePassword, {"B新", "b", "pb", "", ""}), WriteResult::kDone);
    ASSERT_EQ(modify_record(kStorePassword, 1, {"平台一", "账号一", "pw1-B", "a.example", ""}), WriteResult::kDone);
    dialogs = transfer(forms::ftp::download, true, {true});
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_EQ(dialogs[1].text, kDownloadMergeQuestion);
    EXPECT_EQ(dialogs[2].text, "下载成功，已合并两边的数据：新增 1 条，修改 0 条，删除 0 条，两边都保留 1 条");
    EXPECT_EQ(caption(), "FTP - 下载成功（已合并）");
    const std::vector<std::string> merged = {"1 平台一/账号一/pw1-B", "2 平台二/账号二/pw2", "3 A新/a/pa",
                                             "4 B新/b/pb"};
    EXPECT_EQ(texts_of(list_records(kStorePassword)), merged);
    EXPECT_TRUE(std::filesystem::exists(folder_b / "data2021-10-6.edb"));
    dialogs = transfer(forms::ftp::upload);
    ASSERT_EQ(dialogs.size(), 2u) << dialogs.back().text;
    EXPECT_EQ(dialogs[1].text, "上传成功");

    // A, unchanged since its upload, takes the result without a question.
    use_folder(folder_a);
    dialogs = transfer(forms::ftp::download);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(texts_of(list_records(kStorePassword)), merged);
    const std::string on_server = read_file_bytes(server_.file("store/data.edb"));
    EXPECT_EQ(read_file_bytes(path("data.sync.edb")), on_server);
    EXPECT_EQ(read_file_bytes((folder_b / "data.sync.edb").string()), on_server);
#ifndef _WIN32  // file modes; Windows files get an owner-only DACL instead
    EXPECT_EQ(std::filesystem::status(path("data.sync.edb")).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
}

TEST_F(FtpWindowTest, AnUploadOverAChangedServerCopyAsksAndNoToBothChangesNothing) {
    open_ftp_window(server_);
    connect();
    EXPECT_EQ(transfer(forms::ftp::upload).back().text, "上传成功");
    put_server_store(kStorePassword, 3);  // someone else uploaded meanwhile
    const std::string theirs = read_file_bytes(server_.file("store/data.edb"));
    const std::string mine = read_file_bytes(path("data.edb"));
    const std::string base = read_file_bytes(path("data.sync.edb"));
    auto dialogs = transfer(forms::ftp::upload, true, {false, false});
    ASSERT_EQ(dialogs.size(), 4u);
    EXPECT_EQ(dialogs[1].text, kUploadMergeQuestion);
    EXPECT_EQ(dialogs[2].text, kUploadReplaceQuestion);
    EXPECT_EQ(dialogs[3].text, "上传已取消");
    EXPECT_EQ(caption(), "FTP - 上传已取消");
    EXPECT_EQ(read_file_bytes(server_.file("store/data.edb")), theirs);
    EXPECT_EQ(read_file_bytes(path("data.edb")), mine);
    EXPECT_EQ(read_file_bytes(path("data.sync.edb")), base);

    // Merging first: the other side changed both records and added one.
    dialogs = transfer(forms::ftp::upload, true, {true});
    EXPECT_EQ(dialogs.back().text, "上传成功，已合并两边的数据：新增 1 条，修改 2 条，删除 0 条，两边都保留 0 条");
    EXPECT_EQ(list_records(kStorePassword).size(), 3u);
    EXPECT_EQ(read_file_bytes(server_.file("store/data.edb")), read_file_bytes(path("data.edb")));
    EXPECT_EQ(read_file_bytes(path("data.sync.edb")), read_file_bytes(path("data.edb")));
}

TEST_F(FtpWindowTest, FailedDownloadsLeaveTheLocalStoreByteForByte) {
    open_ftp_window(server_);
    connect();
    const std::string before = read_file_bytes(path("data.edb"));
    // The reason follows the message in the box and in the caption.
    auto expect_failure = [&](const char* why, const std::string& reason) {
        const auto dialogs = transfer(forms::ftp::download);
        EXPECT_EQ(dialogs.back().text, "下载失败：" + reason) << why;
        EXPECT_EQ(caption(), "FTP - 下载失败：" + reason) << why;
        EXPECT_EQ(read_file_bytes(path("data.edb")), before) << why;
        EXPECT_FALSE(std::filesystem::exists(path("data2021-10-6.edb"))) << why;
        EXPECT_EQ(decipher(stored("lu"), kCipherKey), "/store") << why;
    };
    expect_failure("no file on the server", "服务器上没有该文件");
    write_file_bytes(server_.file("store/data.edb"), "<html>Service Unavailable</html>");
    expect_failure("not a data file", "服务器上的数据文件无法使用");
    put_server_store("another password", 1);
    expect_failure("locked with another password", "服务器上的数据文件无法使用");
    put_server_store(kStorePassword, 3);
    const std::string whole = read_file_bytes(server_.file("store/data.edb"));
    write_file_bytes(server_.file("store/data.edb"), whole.substr(0, whole.size() - 100));
    expect_failure("truncated", "服务器上的数据文件无法使用");
    EXPECT_EQ(list_rows(), 2);
}

TEST_F(FtpWindowTest, SettingsGbkCannotHoldAreRefusedBeforeAnythingIsSentOrSaved) {
    open_ftp_window(server_);
    user().type_utf8(forms::ftp::window, forms::ftp::password, "\xF0\x9F\x98\x80");
    user().click(forms::ftp::window, forms::ftp::connect);
    EXPECT_EQ(messages(), std::vector<std::string>{"密码含有无法保存的字符（如表情符号、生僻字），未连接"});
    EXPECT_EQ(caption(), "FTP");
    EXPECT_FALSE(std::filesystem::exists(path("ftp.ini")));
    EXPECT_TRUE(server_.lines("LOGIN").empty());

    windows().set_text(forms::ftp::window, forms::ftp::password, TestFtpServer::kPassword);
    connect();
    ASSERT_EQ(caption(), "FTP - 连接成功");
    shown();
    const std::size_t commands = server_.lines("CMD").size();
    user().type_utf8(forms::ftp::window, forms::ftp::path, "\xF0\xA0\x80\x80");
    for (std::string_view button : {forms::ftp::upload, forms::ftp::download}) {
        user().click(forms::ftp::window, button);
        const std::vector<ui::ShownDialog> dialogs = shown();
        ASSERT_EQ(dialogs.size(), 1u) << "no question is asked";
        EXPECT_EQ(dialogs[0].kind, ui::ShownDialog::Kind::kMessage);
        EXPECT_EQ(dialogs[0].text.rfind("存储路径含有无法保存的字符", 0), 0u) << dialogs[0].text;
    }
    windows().process_events();
    EXPECT_EQ(server_.lines("CMD").size(), commands);
    EXPECT_EQ(stored("lu"), "");
}

TEST_F(FtpWindowTest, AnsweringNoChangesNothing) {
    open_ftp_window(server_);
    connect();
    const std::string settings = read_file_bytes(path("ftp.ini"));
    const std::size_t commands = server_.lines("CMD").size();
    EXPECT_EQ(transfer(forms::ftp::download, false).size(), 1u);
    EXPECT_EQ(transfer(forms::ftp::upload, false).size(), 1u);
    windows().process_events();
    EXPECT_EQ(read_file_bytes(path("ftp.ini")), settings);
    EXPECT_EQ(server_.lines("CMD").size(), commands);
    EXPECT_EQ(caption(), "FTP - 连接成功");
}

TEST_F(FtpWindowTest, ClosingTheWindowDuringATransferCancelsItCleanly) {
    TestFtpServer stalling("--stall-after 10");
    ASSERT_TRUE(stalling.ready());
    put_server_store(kStorePassword, 1);
    write_file_bytes(stalling.file("store/data.edb"), read_file_bytes(server_.file("store/data.edb")));
    program_client().set_timeouts({5000, 600});
    open_ftp_window(stalling);
    connect();
    ASSERT_EQ(caption(), "FTP - 连接成功");
    const std::string before = read_file_bytes(path("data.edb"));

    dialogs().answer_question(true);
    user().click(forms::ftp::window, forms::ftp::download);
    // While it runs, nothing else can be started.
    EXPECT_FALSE(enabled(forms::ftp::connect));
    EXPECT_FALSE(enabled(forms::ftp::upload));
    EXPECT_FALSE(enabled(forms::ftp::download));
    wait_until([&] { return !stalling.lines("CMD RETR").empty(); });
    shown();
    windows().destroy_window(forms::ftp::window);
    EXPECT_FALSE(program_client().is_connected());
    // The result still reaches the user, as a message only.
    std::vector<std::string> seen;
    wait_until([&] {
        for (const std::string& text : messages()) seen.push_back(text);
        return !seen.empty();
    });
    EXPECT_EQ(seen, std::vector<std::string>{"下载失败：操作已取消"});
    EXPECT_EQ(read_file_bytes(path("data.edb")), before);
    EXPECT_FALSE(windows().is_open(forms::ftp::window));
}

// The stall limit is beyond the test's time limit: only a close that does not wait on
// the server lets this end.
TEST_F(FtpWindowTest, ClosingTheWindowDoesNotWaitForAServerThatStoppedAnswering) {
    TestFtpServer mute("--mute-after-login");
    ASSERT_TRUE(mute.ready());
    program_client().set_timeouts({5000, 600});
    open_ftp_window(mute);
    connect();
    ASSERT_EQ(caption(), "FTP - 连接成功");
    windows().destroy_window(forms::ftp::window);
    EXPECT_FALSE(program_client().is_connected());
    EXPECT_FALSE(windows().is_open(forms::ftp::window));
}

TEST_F(FtpWindowTest, AConnectOnItsWayWhenTheWindowClosesNeverLogsIn) {
    open_ftp_window(server_);
    user().click(forms::ftp::window, forms::ftp::connect);
    windows().destroy_window(forms::ftp::window);
    EXPECT_FALSE(program_client().is_connected());
    // Whatever the worker had done by then, nothing is left logged in.
    const std::size_t logins = server_.lines("LOGIN").size();
    for (int round = 0; round < 20; ++round) windows().wait_processing_events(5);
    EXPECT_FALSE(program_client().is_connected());
    EXPECT_EQ(server_.lines("LOGIN").size(), logins);
}

TEST_F(FtpWindowTest, APlainServerIsUsedOnlyOnceTheUserAgreedAndThatIsRemembered) {
    open_ftp_window(server_);
    dialogs().answer_question(false);
    click_connect();
    EXPECT_EQ(caption(), "FTP - 连接已取消");
    EXPECT_FALSE(enabled(forms::ftp::upload));
    EXPECT_TRUE(enabled(forms::ftp::connect));
    EXPECT_EQ(questions(), std::vector<std::string>{
                               "该服务器不支持加密连接（TLS）。继续连接将以明文发送FTP密码和数据文件。是否继续？"});
    EXPECT_TRUE(server_.lines("CMD USER").empty()) << server_.log();
    EXPECT_EQ(stored("zhengshu"), "");

    connect();
    EXPECT_EQ(caption(), "FTP - 连接成功");
    EXPECT_EQ(questions().size(), 1u);
    EXPECT_EQ(trust(), server_name(server_) + "=plain");
    windows().destroy_window(forms::ftp::window);

    user().click(forms::main::window, forms::main::open_ftp);
    connect(false);
    EXPECT_EQ(caption(), "FTP - 连接成功");
    EXPECT_TRUE(questions().empty());
}

// The question waits on the window thread while the connect waits for it; a window
// closed meanwhile must not wait for the connect for ever.
TEST_F(FtpWindowTest, ClosingTheWindowWhileTheConnectAwaitsAnAnswerEndsIt) {
    open_ftp_window(server_);
    user().click(forms::ftp::window, forms::ftp::connect);
    while (server_.lines("CMD AUTH").empty()) std::this_thread::yield();
    windows().destroy_window(forms::ftp::window);
    EXPECT_FALSE(program_client().is_connected());
    windows().process_events();
    EXPECT_TRUE(server_.lines("CMD USER").empty());
    EXPECT_EQ(stored("zhengshu"), "");
}

TEST_F(FtpWindowTest, ACertificateForAnotherNameIsRefusedWithoutAQuestion) {
    test::TempDirectory certificates;
    ASSERT_TRUE(test::make_test_certificates(certificates.path()));
    TestFtpServer misnamed("--tls " + test::ScriptProcess::unix_path(certificates.path() + "/misnamed.pem"));
    ASSERT_TRUE(misnamed.ready());
    program_client().set_certificate_authorities(certificates.path() + "/ca.pem");
    open_ftp_window(misnamed);
    connect(false);
    program_client().set_certificate_authorities("");
    EXPECT_EQ(caption(), "FTP - 连接失败：证书与服务器名称不符");
    const std::vector<ui::ShownDialog> dialogs = shown();  // no question among them
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].kind, ui::ShownDialog::Kind::kMessage);
    EXPECT_EQ(dialogs[0].text, "证书与服务器名称不符，未连接");
    // Windows learns a certificate by logging in as anonymous; the user's name never goes out.
    EXPECT_TRUE(misnamed.lines(std::string("CMD USER ") + TestFtpServer::kUser).empty());
    EXPECT_EQ(stored("zhengshu"), "");
}

TEST_F(FtpWindowTest, AServersCertificateIsPinnedEncipheredAndNotShown) {
    test::TempDirectory certificates;
    ASSERT_TRUE(test::make_test_certificates(certificates.path()));
    TestFtpServer tls("--tls " + test::ScriptProcess::unix_path(certificates.path() + "/self_a.pem"));
    ASSERT_TRUE(tls.ready());
    open_ftp_window(tls);
    const std::string fingerprint = ftp::grouped_fingerprint(read_file_bytes(certificates.path() + "/self_a.sha256"));
    const std::string question =
        "服务器 " + server_name(tls) +
        " 的证书不是受信任的机构颁发的，无法确认服务器的身份。\n\n证书指纹（SHA-256）：\n" + fingerprint +
        "\n\n请与服务器上证书的指纹核对，一致时点击‘是’记住此证书并继续连接，以后只接受此证书。";
    dialogs().answer_question(false);
    click_connect();
    EXPECT_EQ(caption(), "FTP - 连接已取消");
    EXPECT_EQ(questions(), std::vector<std::string>{question});
    EXPECT_EQ(stored("zhengshu"), "");
    // Windows learns a certificate by logging in as anonymous; the user's name never goes out.
    EXPECT_TRUE(tls.lines(std::string("CMD USER ") + TestFtpServer::kUser).empty());

    connect();
    ASSERT_EQ(caption(), "FTP - 连接成功");
    EXPECT_EQ(questions(), std::vector<std::string>{question});
    const std::string stored_trust = stored("zhengshu");
    const std::string trust = decipher(stored_trust, kCipherKey);
    EXPECT_TRUE(trust.starts_with("127.0.0.1:" + std::to_string(tls.port()) + "=sha256:")) << trust;
    EXPECT_EQ(read_file_bytes(path("ftp.ini")).find(trust), std::string::npos);
    for (std::string_view box :
         {forms::ftp::address, forms::ftp::port, forms::ftp::account, forms::ftp::password, forms::ftp::path}) {
        EXPECT_EQ(windows().text(forms::ftp::window, box).find("sha256"), std::string::npos) << box;
    }
    windows().destroy_window(forms::ftp::window);

    TestFtpServer changed("--tls " + test::ScriptProcess::unix_path(certificates.path() + "/self_b.pem"));
    ASSERT_TRUE(changed.ready());
    // The same server (as ftp.ini knows it) now shows another certificate.
    platform::write_setting(
        path("ftp.ini"), "ftp", "zhengshu",
        encipher("127.0.0.1:" + std::to_string(changed.port()) + trust.substr(trust.find('=')), kCipherKey));
    open_ftp_window(changed);
    shown();
    connect(false);
    EXPECT_EQ(caption(), "FTP - 连接失败：证书已更换，与记住的证书不符");
    EXPECT_TRUE(changed.lines(std::string("CMD USER ") + TestFtpServer::kUser).empty());
    // Not asked again: told how to forget the pin instead.
    const std::vector<ui::ShownDialog> dialogs = shown();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].kind, ui::ShownDialog::Kind::kMessage);
    EXPECT_EQ(dialogs[0].text,
              "服务器的证书已更换，与记住的证书不符，未连接。如确认服务器更换了证书，请退出程序，"
              "删除ftp.ini中[ftp]节以zhengshu=开头的一行，再重新连接");
    windows().destroy_window(forms::ftp::window);
}

}  // namespace
}  // namespace quillet::app
