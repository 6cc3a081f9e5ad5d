// Runs the built quillet-cli on stores made the way the program makes them, with input on
// standard input, and checks what it prints, its exit status and the store afterwards.
// Texts on the command line and the terminal are UTF-8 (u8""); the store's are GBK ("").
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/ftp_password.h"
#include "app/ftp_trust_store.h"
#include "app/login_password.h"
#include "app/password_vault.h"
#include "app/record_store.h"
#include "app/startup.h"
#include "app/store_envelope.h"
#include "app/text_cipher.h"
#include "db/database_handle.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/program_version.h"
#include "platform/settings_file.h"
#include "platform/text_codec.h"
#include "tests/app/record_store_fixture.h"
#include "tests/ftp/ftp_test_server.h"
#include "tests/ftp/webdav_test_server.h"
#include "tests/support/cheap_keys.h"

extern char** environ;

namespace quillet::app {
namespace {

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

constexpr char kPassword[] = "login1";

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
    long max_resident_kb = 0;  // the most memory it held at once
};

class QuilletCliTest : public testing::Test {
  protected:
    void SetUp() override {
        testing_support::use_cheap_key_derivations();
        root_ =
            std::filesystem::temp_directory_path() / ("quillet_cli_" + std::to_string(getpid()) + "_" +
                                                      testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "store");
        make_store("store", kPassword);
    }
    void TearDown() override {
        platform::set_program_directory_for_testing("");
        std::filesystem::remove_all(root_);
    }

    std::string path(const std::string& name) const { return (root_ / name).string(); }

    // A store as the password setup leaves it: the empty store locked with the password,
    // and data.ini with the password's vault (made cheap to open) and the first-run flag. The program
    // directory stays pointed at it.
    void make_store(const std::string& name, const std::string& password) {
        std::filesystem::create_directories(root_ / name);
        platform::set_program_directory_for_testing(path(name));
        const std::string store = platform::program_file("data.edb");
        ASSERT_TRUE(write_empty_store(store));
        db::Database db;
        ASSERT_TRUE(db::Database::open(store, {}, &db).ok());
        ASSERT_TRUE(db.set_password(password).ok());
        const std::string ini = platform::program_file("data.ini");
        std::string recovery_code;
        ASSERT_TRUE(
            platform::write_setting(ini, "password", "password", format_vault(new_vault(password, &recovery_code))));
        ASSERT_TRUE(platform::write_setting(ini, "reg", "reg", "1"));
        ASSERT_TRUE(platform::write_setting(ini, "tishi", "tishi", std::string(kForgottenPasswordNote)));
    }

    // quillet-cli with `args` and `--dir` the store directory, `input` on standard input.
    CliRun cli(std::vector<std::string> args, const std::string& input = "", bool with_dir = true,
               std::vector<std::string> extra_env = {}) const {
        if (with_dir) {
            args.push_back("--dir");
            args.push_back(path("store"));
        }
        const std::string in_path = path("stdin.txt"), out_path = path("stdout.txt"), err_path = path("stderr.txt");
        platform::write_whole_file_atomically(in_path, input);
        std::vector<std::string> all{QUILLET_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (const std::string& a : all) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<std::string> env_text;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::string(*e).rfind("DISPLAY=", 0) != 0) env_text.emplace_back(*e);
        }
        env_text.insert(env_text.end(), extra_env.begin(), extra_env.end());
        std::vector<char*> env;
        for (const std::string& e : env_text) env.push_back(const_cast<char*>(e.c_str()));
        env.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        CliRun run;
        pid_t pid = 0;
        // The spawned child shares this process's memory until it execs, and the kernel keeps
        // the larger peak of the two as the child's: start from this process's present size,
        // or an earlier test's peak here counts as the tool's.
        std::ofstream("/proc/self/clear_refs") << "5";
        if (posix_spawn(&pid, QUILLET_CLI_PATH, &actions, nullptr, argv.data(), env.data()) == 0) {
            int status = 0;
            struct rusage usage {};
            wait4(pid, &status, 0, &usage);
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            run.max_resident_kb = usage.ru_maxrss;
        }
        posix_spawn_file_actions_destroy(&actions);
        platform::read_whole_file(out_path, &run.out);
        platform::read_whole_file(err_path, &run.err);
        return run;
    }

    std::string login() const { return std::string(kPassword) + "\n"; }

    void add(const RecordText& text) { ASSERT_EQ(add_record(kPassword, text), WriteResult::kDone); }

    std::filesystem::path root_;
};

// The five texts of every record in store order, passwords deciphered.
std::vector<RecordText> texts_of(const std::vector<Record>& records) {
    std::vector<RecordText> texts;
    for (const Record& r : records) {
        texts.push_back({r.platform, r.account, decipher(r.password_cipher, kCipherKey), r.address, r.remark});
    }
    return texts;
}

bool operator==(const RecordText& a, const RecordText& b) {
    return a.platform == b.platform && a.account == b.account && a.password == b.password && a.address == b.address &&
           a.remark == b.remark;
}

TEST_F(QuilletCliTest, VersionPrintsTheBuildsVersionWithoutALogin) {
    const CliRun run = cli({"--version"}, "", false);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "quillet-cli " + std::string(platform::program_version()) + "\n");
}

TEST_F(QuilletCliTest, LsListsTheStoreInOrderAndFiltersAsTheQueriesDo) {
    add({"微博", "小明", "pw1", "https://weibo.com", ""});
    add({"GitHub", "alice", "pw2", "https://github.com", "r"});
    add({"github-enterprise", "bob", "pw3", "https://git.example.com", ""});

    const CliRun all = cli({"ls", "--password-stdin"}, login());
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, utf8(u8"ID  Platform           Account  Address\n"
                            u8"1   微博               小明     https://weibo.com\n"
                            u8"2   GitHub             alice    https://github.com\n"
                            u8"3   github-enterprise  bob      https://git.example.com\n"));
    EXPECT_EQ(all.out.find("pw"), std::string::npos);

    // Letter case matters, as in the program's query.
    const CliRun by_platform = cli({"ls", "--password-stdin", "--platform", "Git"}, login());
    EXPECT_NE(by_platform.out.find("alice"), std::string::npos);
    EXPECT_EQ(by_platform.out.find("bob"), std::string::npos);
    const CliRun both = cli({"ls", "--password-stdin", "--platform", "git", "--address", "example"}, login());
    EXPECT_NE(both.out.find("bob"), std::string::npos);
    EXPECT_EQ(both.out.find("alice"), std::string::npos);
    const CliRun chinese = cli({"ls", "--password-stdin", "--address", "weibo"}, login());
    EXPECT_NE(chinese.out.find(utf8(u8"小明")), std::string::npos);
    const CliRun empty_query = cli({"ls", "--password-stdin", "--platform", ""}, login());
    EXPECT_EQ(empty_query.out, "ID  Platform  Account  Address\n");
}

TEST_F(QuilletCliTest, WrongOrMissingPasswordIsRefusedWithStatusOne) {
    add({"p", "a", "pw", "", ""});
    for (const std::string& input : {std::string("login2\n"), std::string("LOGIN1\n"), std::string("login1 \n"),
                                     std::string("\n"), std::string()}) {
        const CliRun run = cli({"ls", "--password-stdin"}, input);
        EXPECT_EQ(run.status, 1) << input;
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(run.err.empty());
    }
    // Without --password-stdin and without a terminal there is no one to ask.
    const CliRun no_terminal = cli({"ls"}, login());
    EXPECT_EQ(no_terminal.status, 1);
    EXPECT_NE(no_terminal.err.find("--password-stdin"), std::string::npos);
    // A directory without a password set up.
    std::filesystem::create_directories(root_ / "empty");
    const CliRun fresh = cli({"ls", "--password-stdin", "--dir", path("empty")}, login(), false);
    EXPECT_EQ(fresh.status, 1);
    EXPECT_NE(fresh.err.find("no login password"), std::string::npos);
}

// A store with "NO" where the credential table has "ID" took the first add and ended the
// second with status 255; now each command says what is wrong and writes nothing.
TEST_F(QuilletCliTest, AStoreWithOtherFieldsIsRefusedWithAMessageAndLeftAlone) {
    create_foreign_store(kPassword);
    const std::string before = test::read_file_bytes(platform::program_file("data.edb"));
    const std::string wrong_fields = utf8(u8"数据文件的字段结构不对，无法使用");
    for (int round = 0; round < 2; ++round) {
        const CliRun add = cli({"add", "--password-stdin"}, login() + "p\na\npw\n\n\n");
        EXPECT_EQ(add.status, 1) << add.err;
        EXPECT_NE(add.err.find(wrong_fields), std::string::npos) << add.err;
        EXPECT_NE(add.err.find("nothing was written"), std::string::npos) << add.err;
    }
    const CliRun ls = cli({"ls", "--password-stdin"}, login());
    EXPECT_NE(ls.err.find(wrong_fields), std::string::npos) << ls.err;
    EXPECT_NE(ls.status, 255);
    EXPECT_EQ(test::read_file_bytes(platform::program_file("data.edb")), before);
}

TEST_F(QuilletCliTest, AddShowEditAndRemoveWorkThroughStandardInput) {
    CliRun run = cli({"add", "--password-stdin"}, login() + utf8(u8"微博\n小明\n密码,1\nhttps://weibo.com\n备注\n"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Added record 1.\n");
    run = cli({"add", "--password-stdin", "--generate", "10"}, login() + "Gen\nacct\n\n\n");
    ASSERT_EQ(run.status, 0) << run.err;

    run = cli({"show", "1", "--password-stdin"}, login());
    EXPECT_NE(run.out.find(utf8(u8"Platform: 微博")), std::string::npos);
    EXPECT_EQ(run.out.find(utf8(u8"密码,1")), std::string::npos);
    run = cli({"show", "1", "--password-stdin", "--show-password"}, login());
    EXPECT_NE(run.out.find(utf8(u8"Password: 密码,1")), std::string::npos);

    // Empty answers keep the current values, the password included.
    run = cli({"edit", "1", "--password-stdin"}, login() + "\nbob\n\n\nnew remark\n");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<RecordText> texts = texts_of(list_records(kPassword));
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(texts[0] == (RecordText{"微博", "bob", "密码,1", "https://weibo.com", "new remark"}));
    EXPECT_EQ(texts[1].password.size(), 10u);  // the generated one

    // A refused question deletes nothing; --yes asks none.
    EXPECT_EQ(cli({"rm", "1", "--password-stdin"}, login() + "n\n").status, 1);
    EXPECT_EQ(list_records(kPassword).size(), 2u);
    EXPECT_EQ(cli({"rm", "1", "--password-stdin", "--yes"}, login()).status, 0);
    ASSERT_EQ(list_records(kPassword).size(), 1u);
    EXPECT_EQ(list_records(kPassword)[0].id, 2);
    EXPECT_EQ(cli({"show", "1", "--password-stdin"}, login()).status, 1);

    // Values that do not fit are refused before anything is written.
    run = cli({"add", "--password-stdin"}, login() + "p\na\n" + std::string(124, 'x') + "\n\n\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("123 bytes"), std::string::npos);
    run = cli({"add", "--password-stdin"}, login() + "emoji\xF0\x9F\x98\x80\na\npw\n\n\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("GBK"), std::string::npos);
    EXPECT_EQ(list_records(kPassword).size(), 1u);
}

TEST_F(QuilletCliTest, ExportThenImportIntoAnEmptyStoreGivesTheSameRecords) {
    add({"微博", "小明", "p,w\"1", "https://weibo.com", "第一行\r\n第二行"});
    add({"Mail", "", "", "", ""});
    add({" spaced ", "a,b", "密码", "x", "\"q\""});
    const std::string file = path("export.csv");

    CliRun run = cli({"export", "--csv", file, "--password-stdin"}, login());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("clear text"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::string exported;
    ASSERT_TRUE(platform::read_whole_file(file, &exported));
    EXPECT_EQ(exported.rfind(utf8(u8"platform,account,password,address,remark\r\n微博,小明,\"p,w\"\"1\""), 0), 0u)
        << exported;

    // An existing file is replaced only with --force.
    run = cli({"export", "--csv", file, "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("--force"), std::string::npos);
    EXPECT_EQ(cli({"export", "--csv", file, "--force", "--password-stdin"}, login()).status, 0);

    make_store("second", "other2");
    run = cli({"import", "--csv", file, "--format", "quillet", "--password-stdin", "--dir", path("second")}, "other2\n",
              false);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Record> imported = list_records("other2");
    platform::set_program_directory_for_testing(path("store"));
    EXPECT_EQ(texts_of(imported).size(), 3u);
    const std::vector<RecordText> original = texts_of(list_records(kPassword));
    ASSERT_EQ(imported.size(), original.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        EXPECT_TRUE(texts_of(imported)[i] == original[i]) << i;
        EXPECT_EQ(imported[i].id, static_cast<std::int32_t>(i + 1));
    }
}

TEST_F(QuilletCliTest, MergeKeepsBothStoresRecordsAndADryRunWritesNothing) {
    add({"共同", "a", "pw", "", ""});
    add({"这里的", "b", "pw", "", ""});
    make_store("second", "other2");
    ASSERT_EQ(add_record("other2", {"共同", "a", "pw", "", ""}), WriteResult::kDone);
    ASSERT_EQ(add_record("other2", {"那里的", "c", "pw", "", ""}), WriteResult::kDone);
    ASSERT_EQ(add_record("other2", {"第三条", "d", "pw", "", ""}), WriteResult::kDone);
    const std::string other = path("second/data.edb");
    platform::set_program_directory_for_testing(path("store"));
    const std::string before = [&] {
        std::string bytes;
        platform::read_whole_file(path("store/data.edb"), &bytes);
        return bytes;
    }();

    // The same password would not open it; the other one comes on the second line.
    CliRun run = cli({"merge", other, "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    run = cli({"merge", other, "--dry-run", "--password-stdin", "--password-stdin-other"}, login() + "other2\n");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(utf8(u8"新增 ID 2：那里的 c")), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(utf8(u8"两边都保留，本地记录改编号 ID 4（原 ID 2）：这里的 b")), std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find(utf8(u8"新增 2 条，修改 0 条，删除 0 条，两边都保留 1 条")), std::string::npos) << run.err;
    std::string after;
    platform::read_whole_file(path("store/data.edb"), &after);
    EXPECT_EQ(after, before);

    run = cli({"merge", other, "--password-stdin", "--password-stdin-other"}, login() + "other2\n");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> platforms;
    for (const Record& r : list_records(kPassword)) platforms.push_back(std::to_string(r.id) + r.platform);
    EXPECT_EQ(platforms, (std::vector<std::string>{"1共同", "2那里的", "3第三条", "4这里的"}));
}

// ftp.ini as the FTP window leaves it after a connect to `server` (plain FTP agreed or not).
void save_ftp_settings(const test::TestFtpServer& server, bool plain_agreed) {
    const std::string ini = platform::program_file("ftp.ini");
    auto save = [&ini](const char* key, const std::string& value) {
        ASSERT_TRUE(platform::write_setting(ini, "ftp", key, encipher(value, kCipherKey)));
    };
    save("fuwuqi", "127.0.0.1");
    save("name", test::TestFtpServer::kUser);
    save("duankou", std::to_string(server.port()));
    save("lu", "/store");
    ASSERT_TRUE(platform::write_setting(
        ini, "ftp", "password", seal_ftp_password(*derive_ftp_key({}, kPassword), test::TestFtpServer::kPassword)));
    if (plain_agreed) {
        ftp_trust_store([ini] {
            return ini;
        }).remember(ftp::server_key("127.0.0.1", server.port()), {ftp::ServerTrust::Kind::kPlainAgreed, {}, {}});
    }
}

TEST_F(QuilletCliTest, SyncMergesTwoFoldersThroughTheServerAndRefusesPlainFtpNotAgreedTo) {
    test::TestFtpServer server;
    ASSERT_TRUE(server.ready());
    save_ftp_settings(server, false);
    CliRun run = cli({"sync", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("zhengshu"), std::string::npos) << run.err;

    save_ftp_settings(server, true);
    add({"A的", "a", "pw", "", ""});
    run = cli({"sync", "--password-stdin"}, login());
    ASSERT_EQ(run.status, 0) << run.err;
    make_store("second", kPassword);
    save_ftp_settings(server, true);
    ASSERT_EQ(add_record(kPassword, {"B的", "b", "pw", "", ""}), WriteResult::kDone);
    run = cli({"sync", "--password-stdin", "--dry-run", "--dir", path("second")}, login(), false);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(utf8(u8"新增 ID 1：A的 a")), std::string::npos) << run.out;
    EXPECT_EQ(list_records(kPassword).size(), 1u);
    run = cli({"sync", "--password-stdin", "--dir", path("second")}, login(), false);
    ASSERT_EQ(run.status, 0) << run.err;
    run = cli({"sync", "--password-stdin"}, login());
    ASSERT_EQ(run.status, 0) << run.err;

    std::string on_server, base_a, base_b;
    platform::read_whole_file(server.file("store/data.edb"), &on_server);
    platform::read_whole_file(path("store/data.sync.edb"), &base_a);
    platform::read_whole_file(path("second/data.sync.edb"), &base_b);
    EXPECT_EQ(base_a, on_server);
    EXPECT_EQ(base_b, on_server);
    for (const char* folder : {"store", "second"}) {
        platform::set_program_directory_for_testing(path(folder));
        std::vector<std::string> platforms;
        for (const Record& r : list_records(kPassword)) platforms.push_back(std::to_string(r.id) + r.platform);
        EXPECT_EQ(platforms, (std::vector<std::string>{"1A的", "2B的"})) << folder;
    }
}

// ftp.ini as the sync window leaves it after a connect to a WebDAV URL, folder "box".
void save_webdav_settings(const std::string& url) {
    const std::string ini = platform::program_file("ftp.ini");
    for (const auto& [key, value] : std::vector<std::pair<const char*, std::string>>{
             {"fuwuqi", url}, {"name", test::TestWebDavServer::kUser}, {"duankou", ""}, {"lu", "box"}}) {
        ASSERT_TRUE(platform::write_setting(ini, "ftp", key, encipher(value, kCipherKey)));
    }
    ASSERT_TRUE(platform::write_setting(
        ini, "ftp", "password", seal_ftp_password(*derive_ftp_key({}, kPassword), test::TestWebDavServer::kPassword)));
}

// The day's backups data<date>.edb (and -n) in a folder.
std::vector<std::string> backups_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("data2")) names.push_back(name);
    }
    return names;
}

TEST_F(QuilletCliTest, SyncUploadAndDownloadOverWebDavSealTheStoreAskNothingAndKeepTheBackup) {
    test::TestWebDavServer server;
    ASSERT_TRUE(server.ready());
    save_webdav_settings(server.http_url());
    add({"上传的", "a", "pw", "", ""});
    CliRun run = cli({"sync", "upload", "--password-stdin"}, login());
    ASSERT_EQ(run.status, 0) << run.err;
    std::string uploaded, sealed;
    platform::read_whole_file(path("store/data.edb"), &uploaded);
    platform::read_whole_file(server.file("box/data.edb.qlt"), &sealed);
    std::uint64_t revision = 0;
    platform::LockedBytes store;
    ASSERT_TRUE(open_store_envelope(sealed, kPassword, &revision, &store).ok());
    EXPECT_EQ(store.view(), uploaded);
    EXPECT_EQ(revision, 1u);

    // A change here since: the window would ask, so nothing happens without --force.
    add({"本地的", "b", "pw", "", ""});
    std::string changed;
    platform::read_whole_file(path("store/data.edb"), &changed);
    run = cli({"sync", "download", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("--force"), std::string::npos) << run.err;
    std::string now;
    platform::read_whole_file(path("store/data.edb"), &now);
    EXPECT_EQ(now, changed);
    EXPECT_TRUE(backups_in(path("store")).empty());

    run = cli({"sync", "download", "--force", "--password-stdin"}, login());
    ASSERT_EQ(run.status, 0) << run.err;
    platform::read_whole_file(path("store/data.edb"), &now);
    EXPECT_EQ(now, uploaded);
    const std::vector<std::string> backups = backups_in(path("store"));
    ASSERT_EQ(backups.size(), 1u);
    std::string backup;
    platform::read_whole_file(path("store/" + backups[0]), &backup);
    EXPECT_EQ(backup, changed);

    // A damaged copy is refused with its reason, even with --force.
    sealed[sealed.size() - 10] ^= 0x20;
    test::write_file_bytes(server.file("box/data.edb.qlt"), sealed);
    run = cli({"sync", "download", "--force", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(utf8(u8"服务器上的数据文件已损坏或被篡改")), std::string::npos) << run.err;
    platform::read_whole_file(path("store/data.edb"), &now);
    EXPECT_EQ(now, uploaded);
    EXPECT_EQ(backups_in(path("store")).size(), 1u);

    // sync alone refuses to merge it too, rather than upload over it.
    run = cli({"sync", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("nothing changed"), std::string::npos) << run.err;
}

TEST_F(QuilletCliTest, SyncUploadAndDownloadOverFtpAndAWebDavCertificateNotSeenIsRefused) {
    test::TestFtpServer ftp_server;
    ASSERT_TRUE(ftp_server.ready());
    save_ftp_settings(ftp_server, true);
    add({"ftp", "a", "pw", "", ""});
    CliRun run = cli({"sync", "upload", "--password-stdin"}, login());
    ASSERT_EQ(run.status, 0) << run.err;
    std::string local, remote;
    platform::read_whole_file(path("store/data.edb"), &local);
    platform::read_whole_file(ftp_server.file("store/data.edb"), &remote);
    EXPECT_EQ(remote, local);
    run = cli({"sync", "download", "--password-stdin"}, login());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(backups_in(path("store")).size(), 1u);
    EXPECT_EQ(cli({"sync", "sideways", "--password-stdin"}, login()).status, 2);
    EXPECT_EQ(cli({"sync", "--force", "--password-stdin"}, login()).status, 2);

    test::TestWebDavServer dav;
    ASSERT_TRUE(dav.ready());
    save_webdav_settings(dav.https_url());
    run = cli({"sync", "upload", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("connect once from the program's FTP window"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dav.file("box")));
}

TEST_F(QuilletCliTest, ImportLeavesOutRowsThatBreakALimitAndNamesTheirLines) {
    add({"existing", "a", "pw", "", ""});
    const std::string file = path("keepass.csv");
    ASSERT_TRUE(platform::write_whole_file_atomically(
        file, utf8(u8"\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\"\n"
                   u8"\"Root\",\"微博\",\"bob\",\"pw\",\"https://weibo.com\",\"two\nlines\"\n") +
                  "\"Root\",\"long\",\"a\",\"" + std::string(124, 'p') + "\",\"\",\"\"\n" +
                  "\"Root\",\"emoji\xF0\x9F\x98\x80\",\"a\",\"pw\",\"\",\"\"\n\"Root\",\"ok\",,,,\n"));

    CliRun run = cli({"import", "--csv", file, "--format", "keepassxc", "--dry-run"}, "", true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(list_records(kPassword).size(), 1u);  // a dry run writes nothing

    // The rest is added, with a status that tells a script not to run the import again.
    run = cli({"import", "--csv", file, "--format", "keepassxc", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("line 4: the password is longer than 123 bytes"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("line 5: the platform holds characters"), std::string::npos) << run.err;
    const std::vector<Record> records = list_records(kPassword);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].platform, "微博");
    EXPECT_EQ(records[1].remark, "two\nlines");
    EXPECT_EQ(records[1].id, 2);
    EXPECT_EQ(records[2].platform, "ok");

    run = cli({"import", "--csv", file, "--format", "lastpass", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 2);
    run = cli({"import", "--csv", file, "--format", "chrome", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("\"name\""), std::string::npos);
}

TEST_F(QuilletCliTest, ImportRefusesControlCharactersByLineAndFailsWhenNothingIsAdded) {
    const std::string file = path("nul.csv");
    using namespace std::string_literals;
    ASSERT_TRUE(
        platform::write_whole_file_atomically(file,
                                              "platform,account,password,address,remark\nmail,bob,pass\0word-tail,,\n"s
                                              "tabbed\t,a,pw,,\n"));
    CliRun run = cli({"import", "--csv", file, "--format", "quillet", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("nul.csv: line 2: the password holds a control character (byte 0x00); not imported"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("line 3: the platform holds a control character (byte 0x09)"), std::string::npos) << run.err;
    EXPECT_TRUE(list_records(kPassword).empty());

    // Tabs and line breaks are the remark's, as in the record window.
    ASSERT_TRUE(platform::write_whole_file_atomically(
        file, "platform,account,password,address,remark\nmail,bob,pw,,\"a\tb\r\nc\"\n"));
    run = cli({"import", "--csv", file, "--format", "quillet", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<Record> records = list_records(kPassword);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].remark, "a\tb\r\nc");
}

TEST_F(QuilletCliTest, ImportReadsAPipeAndALineOfSeparatorsInTheMemoryOfOneRow) {
    // 8 MB of separators took near 300 MB when every empty field was kept.
    const std::string file = path("commas.csv");
    ASSERT_TRUE(platform::write_whole_file_atomically(
        file, "platform,account,password,address,remark\n" + std::string(8'000'000, ',') + "\nok,a,pw,,\n"));
    CliRun run = cli({"import", "--csv", file, "--format", "quillet", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_LT(run.max_resident_kb, 100'000);
    ASSERT_EQ(list_records(kPassword).size(), 1u);
    // A pipe has no offsets to read at: `--csv <(gpg -d export.csv.gpg)` must still work.
    const std::string fifo = path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t writer = fork();
    ASSERT_NE(writer, -1);
    if (writer == 0) {
        const int fd = open(fifo.c_str(), O_WRONLY);
        const std::string text = "platform,account,password,address,remark\npiped,a,pw,,\n";
        const bool written = fd != -1 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        _exit(written ? 0 : 1);
    }
    run = cli({"import", "--csv", fifo, "--format", "quillet", "--password-stdin"}, login());
    // Lets the writer finish even when the tool never opened the pipe.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    int status = 0;
    waitpid(writer, &status, 0);
    if (reader != -1) close(reader);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<Record> records = list_records(kPassword);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].platform, "piped");
}

// A forgotten password: a new recovery code after a login, then recover with it.
TEST_F(QuilletCliTest, RecoveryCodeSetsANewLoginPasswordAndAWrongCodeChangesNothing) {
    add({"p", "a", "pw", "", ""});
    CliRun run = cli({"recovery-code", "--password-stdin"}, login());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string marker = "Your recovery code: ";
    const std::size_t at = run.err.find(marker);
    ASSERT_NE(at, std::string::npos) << run.err;
    const std::string code = run.err.substr(at + marker.size(), 34);

    std::string wrong = code;
    wrong[0] = wrong[0] == 'A' ? 'B' : 'A';
    run = cli({"recover", "--password-stdin"}, wrong + "\n" + utf8(u8"新密码3\n"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(cli({"ls", "--password-stdin"}, login()).status, 0) << "a wrong code changed the password";

    run = cli({"recover", "--password-stdin"}, code + "\n" + utf8(u8"新密码3\n"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(cli({"ls", "--password-stdin"}, login()).status, 1);
    EXPECT_EQ(cli({"ls", "--password-stdin"}, utf8(u8"新密码3\n")).status, 0);
    ASSERT_EQ(list_records("新密码3").size(), 1u);
}

TEST_F(QuilletCliTest, PasswdChangesWhatTheLoginWindowAcceptsAndReKeysTheStore) {
    add({"p", "a", "pw", "", ""});
    CliRun run = cli({"passwd", "--password-stdin"}, login() + utf8(u8"新密码2\n"));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string replacement = "新密码2";
    EXPECT_EQ(log_in_with(replacement).kind, LoginResult::Kind::kLoggedIn);
    EXPECT_EQ(log_in_with(kPassword).kind, LoginResult::Kind::kWrongPassword);
    ASSERT_EQ(list_records(replacement).size(), 1u);
    EXPECT_TRUE(list_records(kPassword).empty());

    EXPECT_EQ(cli({"ls", "--password-stdin"}, login()).status, 1);
    EXPECT_EQ(cli({"ls", "--password-stdin"}, utf8(u8"新密码2\n")).status, 0);
    // Longer than the login window takes, or empty: nothing changes.
    run = cli({"passwd", "--password-stdin"}, utf8(u8"新密码2\n") + std::string(17, 'x') + "\n");
    EXPECT_EQ(run.status, 1);
    run = cli({"passwd", "--password-stdin"}, utf8(u8"新密码2\n\n"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(log_in_with(replacement).kind, LoginResult::Kind::kLoggedIn);
}

TEST_F(QuilletCliTest, GenerateFollowsTheGeneratorsComposition) {
    const CliRun run = cli({"generate", "8"}, "", false);
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.out.size(), 9u);
    int letters = 0, digits = 0, symbols = 0;
    for (char c : run.out.substr(0, 8)) {
        if (std::isalpha(static_cast<unsigned char>(c)))
            ++letters;
        else if (std::isdigit(static_cast<unsigned char>(c)))
            ++digits;
        else
            ++symbols;
    }
    EXPECT_EQ(letters, 4);
    EXPECT_EQ(symbols, 2);
    EXPECT_EQ(digits, 2);
    const CliRun only_lower = cli({"generate", "12", "--no-symbols", "--no-digits", "--no-upper"}, "", false);
    ASSERT_EQ(only_lower.status, 0);
    EXPECT_EQ(only_lower.out.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), 12u);
    EXPECT_EQ(cli({"generate", "124"}, "", false).status, 2);
    EXPECT_EQ(cli({"generate", "x"}, "", false).status, 2);
}

TEST_F(QuilletCliTest, UnsealWritesThePlainStoreOwnerOnlyAndRefusesWhatDoesNotOpen) {
    add({"平台", "账号", "pw", "", ""});
    std::string store;
    ASSERT_TRUE(platform::read_whole_file(platform::program_file("data.edb"), &store));
    std::string envelope;
    ASSERT_TRUE(seal_store(store, kPassword, 4, &envelope).ok());
    const std::string sealed = path("data.edb.qlt"), plain = path("data.edb");
    ASSERT_TRUE(platform::write_whole_file_atomically(sealed, envelope));

    // No store directory is needed: the copy may be all the user has left.
    CliRun run = cli({"unseal", sealed, "--password-stdin"}, login(), false);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("revision 4"), std::string::npos) << run.err;
    std::string written;
    ASSERT_TRUE(platform::read_whole_file(plain, &written));
    EXPECT_EQ(written, store);
    struct stat info {};
    ASSERT_EQ(stat(plain.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    run = cli({"unseal", sealed, "--password-stdin"}, login(), false);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("--force"), std::string::npos);
    EXPECT_EQ(cli({"unseal", sealed, "--force", "--password-stdin"}, login(), false).status, 0);

    const std::string out = path("out.edb");
    run = cli({"unseal", sealed, out, "--password-stdin"}, "wrong\n", false);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("another"), std::string::npos) << run.err;
    envelope[envelope.size() / 2] = static_cast<char>(envelope[envelope.size() / 2] ^ 1);
    ASSERT_TRUE(platform::write_whole_file_atomically(sealed, envelope));
    run = cli({"unseal", sealed, out, "--password-stdin"}, login(), false);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("tampered"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    EXPECT_EQ(cli({"unseal"}, "", false).status, 2);
    EXPECT_EQ(cli({"unseal", plain, "--password-stdin"}, login(), false).status, 2) << "no .qlt to take off";
    EXPECT_EQ(cli({"unseal", sealed, sealed, "--force", "--password-stdin"}, login(), false).status, 2);
}

TEST_F(QuilletCliTest, CommandLineMistakesExitWithTwoAndHelpWithZero) {
    EXPECT_EQ(cli({"frobnicate"}).status, 2);
    EXPECT_EQ(cli({"ls", "--bogus"}).status, 2);
    EXPECT_EQ(cli({"show", "abc"}).status, 2);
    EXPECT_EQ(cli({"show"}).status, 2);
    EXPECT_EQ(cli({"clip", "1", "everything"}).status, 2);
    EXPECT_EQ(cli({"export"}).status, 2);
    // A password never goes on the command line: there is no option for it.
    EXPECT_EQ(cli({"ls", "--password", kPassword}).status, 2);
    for (const char* command :
         {"ls", "show", "add", "edit", "rm", "clip", "generate", "passwd", "export", "import", "unseal"}) {
        const CliRun help = cli({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: quillet-cli ") + command, 0), 0u) << help.out;
    }
    EXPECT_EQ(cli({"--help"}, "", false).status, 0);
}

TEST_F(QuilletCliTest, ClipWithoutADesktopSessionFailsBeforeAskingAnything) {
    add({"p", "a", "pw", "", ""});
    const CliRun run = cli({"clip", "1", "--password-stdin"}, login());
    EXPECT_EQ(run.status, 1);
    // Without DISPLAY, or in a build without the desktop layer, it says why.
    EXPECT_TRUE(run.err.find("DISPLAY") != std::string::npos || run.err.find("no clipboard") != std::string::npos)
        << run.err;
}

}  // namespace
}  // namespace quillet::app
