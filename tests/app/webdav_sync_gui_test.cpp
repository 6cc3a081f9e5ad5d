// The sync window with a WebDAV URL in its 地址 box, against a real Apache WebDAV server.
#include <filesystem>

#include "app/ftp_password.h"
#include "app/ftp_window.h"
#include "app/main_list.h"
#include "app/record_store.h"
#include "app/session.h"
#include "app/store_envelope.h"
#include "app/store_sync.h"
#include "app/sync_revision.h"
#include "app/text_cipher.h"
#include "app/webdav_remote.h"
#include "platform/manual_clock.h"
#include "platform/settings_file.h"
#include "tests/app/sync_window_fixture.h"
#include "tests/ftp/webdav_test_server.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using test::read_file_bytes;
using test::TestWebDavServer;
using test::write_file_bytes;
namespace forms = quillet::ui::forms;

struct Unsealed {
    bool opened = false;
    std::uint64_t revision = 0;
    std::string store;
};

Unsealed unseal(const std::string& file) {
    Unsealed result;
    platform::LockedBytes store;
    result.opened = open_store_envelope_file(file, kStorePassword, &result.revision, &store).ok();
    result.store = std::string(store.view());
    return result;
}

class WebDavSyncTest : public SyncWindowTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ready());
        SyncWindowTest::SetUp();
    }

    std::string on_server() { return server_.file("box/data.edb.qlt"); }

    // Fills the five boxes as a user of a WebDAV folder would, and connects.
    void connect(const std::string& url, const std::string& port = "",
                 const std::string& password = TestWebDavServer::kPassword) {
        user().click(forms::main::window, forms::main::open_ftp);
        ASSERT_TRUE(windows().is_open(forms::ftp::window));
        for (std::string_view box :
             {forms::ftp::address, forms::ftp::port, forms::ftp::account, forms::ftp::password, forms::ftp::path}) {
            windows().set_text(forms::ftp::window, box, "");
        }
        user().type_text(forms::ftp::window, forms::ftp::address, url);
        user().type_text(forms::ftp::window, forms::ftp::port, port);
        user().type_text(forms::ftp::window, forms::ftp::account, TestWebDavServer::kUser);
        user().type_text(forms::ftp::window, forms::ftp::password, password);
        user().type_text(forms::ftp::window, forms::ftp::path, "box");
        shown();
        user().click(forms::ftp::window, forms::ftp::connect);
        wait_until([&] { return enabled(forms::ftp::connect); });
    }

    // Clicks a transfer button, answers the confirmation and then `more` questions in order,
    // and returns the texts shown up to the result.
    std::vector<std::string> transfer(std::string_view button, std::vector<bool> more = {}) {
        shown();
        dialogs().answer_question(true);
        for (bool answer : more) dialogs().answer_question(answer);
        user().click(forms::ftp::window, button);
        std::vector<ui::ShownDialog> dialogs;
        wait_until([&] {
            for (const ui::ShownDialog& dialog : shown()) dialogs.push_back(dialog);
            return !dialogs.empty() && dialogs.back().kind == ui::ShownDialog::Kind::kMessage;
        });
        std::vector<std::string> texts;
        for (const ui::ShownDialog& dialog : dialogs) texts.push_back(dialog.text);
        return texts;
    }

    TestWebDavServer server_;
};

TEST_F(WebDavSyncTest, UploadPutsOnlyASealedCopyThereAndDownloadBringsItBackWithTheBackup) {
    connect(server_.http_url());
    EXPECT_EQ(caption(), "WebDAV - 连接成功");
    EXPECT_TRUE(shown().empty()) << "no question for this machine's own server";
    ASSERT_TRUE(enabled(forms::ftp::upload));

    auto texts = transfer(forms::ftp::upload);
    EXPECT_EQ(texts, (std::vector<std::string>{"上传WebDAV数据会将WebDAV上数据覆盖，点击‘是’开始上传", "上传成功"}));
    EXPECT_EQ(caption(), "WebDAV - 上传成功");
    const std::string two_records = read_file_bytes(path("data.edb"));
    Unsealed sent = unseal(on_server());
    ASSERT_TRUE(sent.opened);
    EXPECT_EQ(sent.store, two_records);
    EXPECT_EQ(sent.revision, 1u);
    EXPECT_EQ(last_exchanged_revision(path("ftp.ini")), 1u);
    EXPECT_EQ(read_file_bytes(on_server()).find(two_records.substr(0, 512)), std::string::npos);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(server_.file(""))) {
        EXPECT_EQ(entry.path().filename(), entry.is_directory() ? "box" : "data.edb.qlt") << entry.path();
    }
    EXPECT_EQ(read_file_bytes(path("data.sync.edb")), two_records);

    // A third record here, then the server's two back: replacing, not merging.
    ASSERT_EQ(add_record(kStorePassword, {"平台三", "账号三", "pw3", "", ""}), WriteResult::kDone);
    const std::string three_records = read_file_bytes(path("data.edb"));
    texts = transfer(forms::ftp::download, {false, true});
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0],
              "下载WebDAV数据会将本地数据覆盖，如发现数据不全，将本地data备份文件修改为data.edb即可，点击‘是’开始下载");
    EXPECT_EQ(texts[1], kDownloadMergeQuestion);
    EXPECT_EQ(texts[3], "下载成功");
    EXPECT_EQ(caption(), "WebDAV - 下载成功");
    EXPECT_EQ(read_file_bytes(path("data.edb")), two_records);
    EXPECT_EQ(read_file_bytes(path("data2021-10-6.edb")), three_records);
    wait_until([&] { return list_rows() == 2; });

    // A second upload seals the next revision over the first copy.
    ASSERT_EQ(add_record(kStorePassword, {"平台四", "账号四", "pw4", "", ""}), WriteResult::kDone);
    EXPECT_EQ(transfer(forms::ftp::upload).back(), "上传成功");
    sent = unseal(on_server());
    EXPECT_EQ(sent.store, read_file_bytes(path("data.edb")));
    EXPECT_EQ(sent.revision, 2u);
    EXPECT_EQ(last_exchanged_revision(path("ftp.ini")), 2u);
}

TEST_F(WebDavSyncTest, ADamagedOrForeignServerCopyLeavesTheLocalStoreUntouched) {
    connect(server_.http_url());
    ASSERT_EQ(transfer(forms::ftp::upload).back(), "上传成功");
    const std::string sealed = read_file_bytes(on_server());
    ASSERT_EQ(add_record(kStorePassword, {"本地", "a", "pw", "", ""}), WriteResult::kDone);
    const std::string before = read_file_bytes(path("data.edb"));
    auto expect_refused = [&](const std::string& why, const std::string& reason) {
        const auto texts = transfer(forms::ftp::download);
        EXPECT_EQ(texts.back(), "下载失败：" + reason) << why;
        EXPECT_EQ(caption(), "WebDAV - 下载失败：" + reason) << why;
        EXPECT_EQ(read_file_bytes(path("data.edb")), before) << why;
        EXPECT_FALSE(std::filesystem::exists(path("data2021-10-6.edb"))) << why;
        EXPECT_EQ(last_exchanged_revision(path("ftp.ini")), 1u) << why;
    };
    std::string flipped = sealed;
    flipped[flipped.size() - 20] ^= 0x01;
    write_file_bytes(on_server(), flipped);
    expect_refused("one byte of the store flipped", "服务器上的数据文件已损坏或被篡改");
    write_file_bytes(on_server(), read_file_bytes(path("data.edb")));
    expect_refused("a plain store in its place", "服务器上的数据文件已损坏或被篡改");
    std::string other;
    ASSERT_TRUE(seal_store(before, "another login", 7, &other).ok());
    write_file_bytes(on_server(), other);
    expect_refused("sealed under another login password", "服务器上的数据文件不是用当前的登录密码加密的，或已损坏");
    std::filesystem::remove(on_server());
    expect_refused("no copy at all", "服务器上找不到该地址或文件（404）");
    // No temporary is left beside the store.
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().filename().string().find(".download"), std::string::npos) << entry.path();
    }
}

TEST_F(WebDavSyncTest, AnOlderServerCopyIsTakenOnlyWhenTheUserSaysSo) {
    connect(server_.http_url());
    ASSERT_EQ(transfer(forms::ftp::upload).back(), "上传成功");
    // Since then this folder exchanged revision 5 (with a copy that is gone from the server).
    ASSERT_TRUE(record_exchanged_revision(path("ftp.ini"), 5));
    const std::string before = read_file_bytes(path("data.edb"));

    auto texts = transfer(forms::ftp::download, {false});
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "服务器上的数据比上次同步的旧。是否仍然使用服务器上的数据？");
    EXPECT_EQ(texts[2], "下载已取消");
    EXPECT_EQ(caption(), "WebDAV - 下载已取消");
    EXPECT_EQ(read_file_bytes(path("data.edb")), before);
    EXPECT_EQ(last_exchanged_revision(path("ftp.ini")), 5u);

    texts = transfer(forms::ftp::download, {true});
    EXPECT_EQ(texts.back(), "下载成功");
    EXPECT_EQ(last_exchanged_revision(path("ftp.ini")), 1u);
    // An upload then seals past every revision seen, so no other folder takes it for older.
    ASSERT_TRUE(record_exchanged_revision(path("ftp.ini"), 5));
    EXPECT_EQ(transfer(forms::ftp::upload).back(), "上传成功");
    EXPECT_EQ(unseal(on_server()).revision, 6u);
}

TEST_F(WebDavSyncTest, AWrongPasswordFailsWithItsReasonAndNoSettingHoldsItInClear) {
    connect(server_.http_url(), "", "wrong-口令");
    EXPECT_EQ(caption(), "WebDAV - 连接失败：服务器拒绝了账号或密码（401）");
    EXPECT_EQ(messages(), std::vector<std::string>{caption()});
    EXPECT_FALSE(enabled(forms::ftp::upload));
    EXPECT_FALSE(enabled(forms::ftp::download));
    const std::string settings = read_file_bytes(path("ftp.ini"));
    EXPECT_EQ(settings.find("wrong"), std::string::npos) << settings;
    platform::LockedBytes opened;
    ASSERT_TRUE(open_ftp_password(session_ftp_key(state()), platform::read_setting(path("ftp.ini"), "ftp", "password"),
                                  &opened));
    EXPECT_EQ(opened.view(), "wrong-口令");
    EXPECT_EQ(decipher(platform::read_setting(path("ftp.ini"), "ftp", "fuwuqi"), kCipherKey), server_.http_url());
    windows().destroy_window(forms::ftp::window);

    // Reopened, the window holds the URL and connects with the right password.
    connect(server_.http_url());
    EXPECT_EQ(caption(), "WebDAV - 连接成功");
    EXPECT_EQ(read_file_bytes(path("ftp.ini")).find(TestWebDavServer::kPassword), std::string::npos);
}

TEST_F(WebDavSyncTest, APortTypedInThePortBoxWinsOverTheUrls) {
    const std::string url = server_.http_url();
    const std::string port = url.substr(url.rfind(':') + 1, url.find('/', url.rfind(':')) - url.rfind(':') - 1);
    connect("http://127.0.0.1:1/dav/", port);
    EXPECT_EQ(caption(), "WebDAV - 连接成功");
    connect(url, "1");
    EXPECT_EQ(caption().rfind("WebDAV - 连接失败：", 0), 0u) << caption();
    EXPECT_EQ(messages().size(), 1u);
}

}  // namespace
}  // namespace quillet::app
