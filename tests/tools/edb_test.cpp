// Runs the built edb on files in a private directory and checks what it prints and
// its exit status. Command-line texts and output are UTF-8, written here as u8"".
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/program_version.h"

extern char** environ;

namespace {

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

struct EdbRun {
    int status = -1;
    std::string out;
    std::string err;
};

class EdbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = ::testing::TempDir() + "quillet_edb_" + std::to_string(getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::system(("rm -rf '" + directory_ + "'").c_str());
        ASSERT_TRUE(quillet::platform::create_directory(directory_));
    }
    void TearDown() override { std::system(("rm -rf '" + directory_ + "'").c_str()); }

    std::string path(const std::string& name) const { return directory_ + "/" + name; }

    // Runs edb with `args` (no shell), standard output and error kept in files. Standard
    // input is a pipe that receives `input`; `while_waiting` runs first, while edb waits for it.
    EdbRun edb(const std::vector<std::string>& args, const std::string& input = "",
               const std::function<void(pid_t)>& while_waiting = {}) const {
        const std::string out_path = path("stdout.txt");
        const std::string err_path = path("stderr.txt");
        std::vector<std::string> all{EDB_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (const std::string& a : all) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int feed[2];
        if (pipe2(feed, O_CLOEXEC) != 0) return {};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, feed[0], 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // A session of its own: no controlling terminal that a prompt could reach.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        EdbRun run;
        pid_t pid = 0;
        const bool spawned = posix_spawn(&pid, EDB_PATH, &actions, &attributes, argv.data(), environ) == 0;
        posix_spawnattr_destroy(&attributes);
        close(feed[0]);
        if (spawned) {
            if (while_waiting) while_waiting(pid);
            // edb may have ended without reading; that shows in the results, not as SIGPIPE here.
            signal(SIGPIPE, SIG_IGN);
            if (!input.empty() && write(feed[1], input.data(), input.size()) < 0) ADD_FAILURE() << "input not sent";
            close(feed[1]);
            int status = 0;
            waitpid(pid, &status, 0);
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        } else {
            close(feed[1]);
        }
        posix_spawn_file_actions_destroy(&actions);
        quillet::platform::read_whole_file(out_path, &run.out);
        quillet::platform::read_whole_file(err_path, &run.err);
        return run;
    }

    // Runs edb on a pseudo-terminal of its own and answers each password prompt with the
    // next of `answers`; `*screen` receives everything edb showed there.
    int edb_on_terminal(const std::vector<std::string>& args, const std::vector<std::string>& answers,
                        std::string* screen) const {
        std::vector<std::string> all{EDB_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (const std::string& a : all) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int terminal = -1;
        const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (pid == -1) return -1;
        if (pid == 0) {
            execv(EDB_PATH, argv.data());
            _exit(127);
        }
        std::size_t answered = 0;
        for (;;) {
            pollfd ready{terminal, POLLIN, 0};
            if (poll(&ready, 1, 20000) != 1) break;  // a safety net only: edb hangs
            char buffer[256];
            const ssize_t got = read(terminal, buffer, sizeof buffer);
            if (got <= 0) break;  // EIO once edb has ended
            screen->append(buffer, static_cast<std::size_t>(got));
            std::size_t prompts = 0;
            for (std::size_t at = screen->find("password: "); at != std::string::npos;
                 at = screen->find("password: ", at + 1)) {
                ++prompts;
            }
            if (prompts > answered && answered < answers.size()) {
                const std::string line = answers[answered++] + "\n";
                if (write(terminal, line.data(), line.size()) < 0) break;
            }
        }
        close(terminal);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string credential_file() const {
        const std::string file = path("data.edb");
        EXPECT_EQ(edb({"create", file, "ID:int", utf8(u8"平台:text:255"), utf8(u8"账号:text:255"),
                       utf8(u8"密码:text:255"), utf8(u8"网址:text:255"), utf8(u8"备注:text:255")})
                      .status,
                  0);
        return file;
    }

    std::string bytes_of(const std::string& file) const {
        std::string bytes;
        quillet::platform::read_whole_file(file, &bytes);
        return bytes;
    }

    std::string directory_;
};

TEST_F(EdbTest, VersionPrintsTheBuildsVersion) {
    const EdbRun run = edb({"--version"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "edb " + std::string(quillet::platform::program_version()) + "\n");
}

TEST_F(EdbTest, ChineseTextRoundTripsThroughAppendAndDump) {
    const std::string file = credential_file();
    ASSERT_EQ(edb({"append", file, "1", utf8(u8"微信"), "me\"\\", "x", "https://a.example", "two\nlines\t\x01"}).status,
              0);
    ASSERT_EQ(edb({"append", file, "2", utf8(u8"邮箱")}).status, 0);
    const EdbRun dump = edb({"dump", file});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out, utf8(u8"{\"record\":0,\"serial\":1,\"deleted\":false,\"fields\":{\"ID\":1,\"平台\":\"微信\","
                             u8"\"账号\":\"me\\\"\\\\\",\"密码\":\"x\",\"网址\":\"https://a.example\","
                             u8"\"备注\":\"two\\nlines\\t\\u0001\"}}\n"
                             u8"{\"record\":1,\"serial\":2,\"deleted\":false,\"fields\":{\"ID\":2,\"平台\":\"邮箱\","
                             u8"\"账号\":\"\",\"密码\":\"\",\"网址\":\"\",\"备注\":\"\"}}\n"));
    // Stored as GBK: "微信" is four bytes right after the serial and the ID.
    EXPECT_EQ(bytes_of(file).substr(548 + 8, 5), "\xCE\xA2\xD0\xC5" + std::string(1, '\0'));
}

TEST_F(EdbTest, EveryFieldTypeIsParsedAndPrinted) {
    const std::string file = path("all.edb");
    ASSERT_EQ(edb({"create", file, "a:byte", "b:short", "c:long", "d:float", "e:double", "f:bool", "g:datetime",
                   "h:subptr", "i:bytes", "j:memo", "k:int", "l:text:4"})
                  .status,
              0);
    ASSERT_EQ(edb({"append", file, "255", "-32768", "-9000000000", "1.5", "0.1", "true", "2021-10-05 18:22:56.5",
                   "0x10", "00ff10", std::string(600, 'm'), "-7", "abc"})
                  .status,
              0);
    const EdbRun cut = edb({"append", file, "0", "0", "0", "0", "1e300", "0", "44474.5", "0", "", "", "0", "abcdef"});
    EXPECT_EQ(cut.status, 0);
    EXPECT_NE(cut.err.find("cut"), std::string::npos);
    const EdbRun dump = edb({"dump", file});
    EXPECT_EQ(dump.out,
              "{\"record\":0,\"serial\":1,\"deleted\":false,\"fields\":{\"a\":255,\"b\":-32768,\"c\":-9000000000,"
              "\"d\":1.5,\"e\":0.1,\"f\":true,\"g\":\"2021-10-05 18:22:56.500\",\"h\":16,\"i\":\"00ff10\",\"j\":\"" +
                  std::string(600, 'm') +
                  "\",\"k\":-7,\"l\":\"abc\"}}\n"
                  "{\"record\":1,\"serial\":2,\"deleted\":false,\"fields\":{\"a\":0,\"b\":0,\"c\":0,\"d\":0,"
                  "\"e\":1e+300,\"f\":false,\"g\":\"2021-10-05 12:00:00\",\"h\":0,\"i\":\"\",\"j\":\"\",\"k\":0,"
                  "\"l\":\"abcd\"}}\n");
    EXPECT_EQ(edb({"check", file}).out, "ok 2 records\n");
}

TEST_F(EdbTest, BadValuesAreRefusedAndNothingIsAppended) {
    const std::string file = credential_file();
    for (const char* id : {"abc", "12x", "2147483648", "", "1.5"}) {
        const EdbRun run = edb({"append", file, id, "x"});
        EXPECT_EQ(run.status, 2) << id;
        EXPECT_NE(run.err.find("field ID (int)"), std::string::npos) << run.err;
    }
    EXPECT_EQ(edb({"append", file, "1", "2", "3", "4", "5", "6", "7"}).status, 2);  // one value too many
    EXPECT_EQ(edb({"dump", file}).out, "");
    // An existing file is never replaced, also when named without its extension.
    const EdbRun again = edb({"create", file, "n:int"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("exists"), std::string::npos);
    EXPECT_EQ(edb({"info", file}).status, 0);
    ASSERT_EQ(edb({"create", path("plain"), "n:int"}).status, 0);  // makes plain.EDB
    EXPECT_EQ(edb({"create", path("plain"), "n:int"}).status, 1);
    EXPECT_EQ(edb({"create", path("x.edb"), "n:text"}).status, 2);  // text without a width
    EXPECT_EQ(edb({"create", path("x.edb"), "n:int:4"}).status, 2);
    EXPECT_EQ(edb({"create", path("x.edb"), "n:string"}).status, 2);
    EXPECT_EQ(edb({"dump", file, "-p"}).status, 2);
}

TEST_F(EdbTest, CreateRefusesASymbolicLinkAndWritesNothingThroughIt) {
    ASSERT_EQ(symlink(path("victim.bin").c_str(), path("x.edb").c_str()), 0);  // pointing nowhere
    const EdbRun run = edb({"create", path("x.edb"), "n:int"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("symbolic link"), std::string::npos) << run.err;
    EXPECT_FALSE(quillet::platform::is_existing_file(path("victim.bin")));
    EXPECT_TRUE(quillet::platform::is_symbolic_link(path("x.edb")));

    // Named without its extension, the link is found all the same.
    ASSERT_EQ(symlink(path("victim2.bin").c_str(), path("y.EDB").c_str()), 0);
    EXPECT_EQ(edb({"create", path("y"), "n:int"}).status, 1);
    EXPECT_FALSE(quillet::platform::is_existing_file(path("victim2.bin")));
}

TEST_F(EdbTest, InfoDescribesTheHeaderAndFields) {
    const std::string file = credential_file();
    ASSERT_EQ(edb({"append", file, "1"}).status, 0);
    const EdbRun info = edb({"info", file});
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.out.rfind("{\"magic\":\"WEDB\",\"version\":65536,\"stamp\":", 0), 0u) << info.out;
    EXPECT_NE(info.out.find(utf8(u8"\"record_count\":1,\"next_serial\":2,\"record_size\":1283,\"data_start\":548,"
                                 u8"\"fields\":[{\"name\":\"ID\",\"type\":\"int\",\"offset\":4,\"width\":4},"
                                 u8"{\"name\":\"平台\",\"type\":\"text\",\"offset\":8,\"width\":255},")),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find(utf8(u8"{\"name\":\"备注\",\"type\":\"text\",\"offset\":1028,\"width\":255}]}\n")),
              std::string::npos);
}

TEST_F(EdbTest, DeleteUndeleteAndPurgeKeepSerials) {
    const std::string file = credential_file();
    for (const char* id : {"1", "2", "3"}) ASSERT_EQ(edb({"append", file, id}).status, 0);
    ASSERT_EQ(edb({"delete", file, "1"}).status, 0);
    EXPECT_NE(edb({"dump", file}).out.find("{\"record\":1,\"serial\":2,\"deleted\":true"), std::string::npos);
    ASSERT_EQ(edb({"undelete", file, "1"}).status, 0);
    EXPECT_NE(edb({"dump", file}).out.find("{\"record\":1,\"serial\":2,\"deleted\":false"), std::string::npos);
    ASSERT_EQ(edb({"delete", file, "0"}).status, 0);
    ASSERT_EQ(edb({"purge", file}).status, 0);
    const std::string dump = edb({"dump", file}).out;
    EXPECT_EQ(dump.find("\"ID\":1,"), std::string::npos);
    EXPECT_NE(dump.find("{\"record\":0,\"serial\":2,\"deleted\":false"), std::string::npos);
    EXPECT_NE(dump.find("{\"record\":1,\"serial\":3,\"deleted\":false"), std::string::npos);
    EXPECT_EQ(bytes_of(file).size(), 548u + 2 * 1283);

    const EdbRun missing = edb({"delete", file, "2"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, utf8(u8"edb: error -44: 指定记录不存在\n"));
    EXPECT_EQ(edb({"delete", file, "-1"}).status, 2);
}

TEST_F(EdbTest, PasswordIsSetChangedAndRemoved) {
    const std::string file = credential_file();
    ASSERT_EQ(edb({"append", file, "1", utf8(u8"平台")}).status, 0);
    const std::string plain_dump = edb({"dump", file}).out;
    const std::string wrong = utf8(u8"edb: error -78: 未提供数据库访问密码或提供了错误的密码\n");

    ASSERT_EQ(edb({"passwd", file, utf8(u8"口令A")}).status, 0);
    EXPECT_EQ(bytes_of(file).substr(0, 4), "WCDB");
    const EdbRun locked = edb({"dump", file});
    EXPECT_EQ(locked.status, 1);
    EXPECT_EQ(locked.err, wrong);
    EXPECT_EQ(locked.out, "");
    EXPECT_EQ(edb({"dump", file, "-p", utf8(u8"口令A")}).out, plain_dump);

    ASSERT_EQ(edb({"passwd", file, "-p", utf8(u8"口令A"), "B"}).status, 0);
    EXPECT_EQ(edb({"dump", file, "-p", utf8(u8"口令A")}).err, wrong);
    EXPECT_EQ(edb({"dump", "-p", "B", file}).out, plain_dump);
    EXPECT_EQ(edb({"passwd", file, "-p", "B", "?"}).err, utf8(u8"edb: error -80: 无效的密码文本\n"));

    ASSERT_EQ(edb({"passwd", file, "-p", "B", ""}).status, 0);
    EXPECT_EQ(bytes_of(file).substr(0, 4), "WEDB");
    EXPECT_EQ(edb({"dump", file}).out, plain_dump);
    EXPECT_EQ(edb({"dump", file, "-p", "B"}).err, wrong);
}

TEST_F(EdbTest, CheckReportsAGoodFileAndTheFirstProblemOfABadOne) {
    const std::string file = path("memo.edb");
    ASSERT_EQ(edb({"create", file, "ID:int", "note:memo"}).status, 0);
    ASSERT_EQ(edb({"append", file, "1", std::string(600, 'a')}).status, 0);
    ASSERT_EQ(edb({"append", file, "2", "b"}).status, 0);
    const EdbRun good = edb({"check", file});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, "ok 2 records\n");

    // A chain that loops back on itself: block 2's next names block 1.
    const std::string aux = path("memo.EDT");
    std::string blocks = bytes_of(aux);
    ASSERT_GE(blocks.size(), 3u * 512);
    const std::int32_t one = 1;
    std::memcpy(blocks.data() + 2 * 512 + 4, &one, 4);
    ASSERT_TRUE(quillet::platform::write_whole_file_atomically(aux, blocks));
    const EdbRun looped = edb({"check", file});
    EXPECT_EQ(looped.status, 1);
    EXPECT_NE(looped.err.find("record 0 field note"), std::string::npos) << looped.err;

    // A data file cut in the middle of a record fails the read-only open.
    std::string data = bytes_of(file);
    data.resize(data.size() - 3);
    ASSERT_TRUE(quillet::platform::write_whole_file_atomically(file, data));
    EXPECT_EQ(edb({"check", file}).err, utf8(u8"edb: error -48: 数据库文件尺寸错误\n"));

    // A descriptor with an unknown type code.
    data[116 + 72 + 20] = 13;
    ASSERT_TRUE(quillet::platform::write_whole_file_atomically(file, data));
    EXPECT_EQ(edb({"check", file}).err, utf8(u8"edb: error -22: 指定文件不是数据库文件\n"));
}

TEST_F(EdbTest, HelpListsEveryCommand) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"help"}}) {
        const EdbRun help = edb(args);
        EXPECT_EQ(help.status, 0);
        for (const char* command :
             {"create", "info", "dump", "append", "delete", "undelete", "purge", "passwd", "check", "help"}) {
            EXPECT_NE(help.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
        }
    }
    EXPECT_EQ(edb({"frobnicate"}).status, 2);
}

// The command line as other users see it. Right after exec the kernel shows an empty one
// until the new program's arguments are in place, so it is read until it appears.
std::string command_line_of(pid_t pid) {
    std::string line;
    for (int attempt = 0; attempt < 10000 && line.empty(); ++attempt) {
        if (attempt > 0) poll(nullptr, 0, 1);
        quillet::platform::read_whole_file("/proc/" + std::to_string(pid) + "/cmdline", &line);
    }
    return line;
}

TEST_F(EdbTest, PasswordFromStandardInputNeverAppearsInTheProcessList) {
    const std::string file = credential_file();
    ASSERT_EQ(edb({"append", file, "1", utf8(u8"平台")}).status, 0);
    const std::string plain_dump = edb({"dump", file}).out;
    ASSERT_EQ(edb({"passwd", file, "-"}, utf8(u8"口令A\n")).status, 0);

    std::string command_line;
    const EdbRun dump =
        edb({"dump", file, "-p", "-"}, utf8(u8"口令A\r\n"), [&](pid_t pid) { command_line = command_line_of(pid); });
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out, plain_dump);
    EXPECT_EQ(command_line, std::string(EDB_PATH) + '\0' + "dump" + '\0' + file + '\0' + "-p" + '\0' + "-" + '\0');

    // Old and new password as two lines: nothing secret on the command line at all.
    std::string passwd_line;
    ASSERT_EQ(edb({"passwd", file, "-p", "-", "-"}, utf8(u8"口令A\nB\n"),
                  [&](pid_t pid) { passwd_line = command_line_of(pid); })
                  .status,
              0);
    EXPECT_EQ(passwd_line,
              std::string(EDB_PATH) + '\0' + "passwd" + '\0' + file + '\0' + "-p" + '\0' + "-" + '\0' + "-" + '\0');
    EXPECT_EQ(edb({"dump", file, "-p", "-"}, "B\n").out, plain_dump);
    EXPECT_EQ(edb({"dump", file, "-p", "-"}, utf8(u8"口令A\n")).status, 1);

    const EdbRun empty = edb({"dump", file, "-p", "-"});
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("standard input"), std::string::npos) << empty.err;
    EXPECT_EQ(edb({"passwd", file, "-p", "-", "-"}, "B\n").status, 2) << "no second line: nothing changes";
    EXPECT_EQ(edb({"dump", file, "-p", "-"}, "B\n").out, plain_dump);
}

TEST_F(EdbTest, PasswdAsksForTheNewPasswordTwiceWithoutEcho) {
    const std::string file = credential_file();
    ASSERT_EQ(edb({"append", file, "1"}).status, 0);
    const std::string plain_dump = edb({"dump", file}).out;

    std::string screen;
    EXPECT_EQ(edb_on_terminal({"passwd", file}, {"s3cret-word", "s3cret-word"}, &screen), 0) << screen;
    EXPECT_NE(screen.find("New password: "), std::string::npos) << screen;
    EXPECT_EQ(screen.find("s3cret-word"), std::string::npos) << "echoed: " << screen;
    EXPECT_EQ(edb({"dump", file, "-p", "s3cret-word"}).out, plain_dump);

    // Two different entries change nothing.
    screen.clear();
    EXPECT_EQ(edb_on_terminal({"passwd", file, "-p", "s3cret-word"}, {"one", "two"}, &screen), 2) << screen;
    EXPECT_NE(screen.find("differ"), std::string::npos) << screen;
    EXPECT_EQ(edb({"dump", file, "-p", "s3cret-word"}).out, plain_dump);

    // Without a terminal there is no one to ask.
    const EdbRun no_terminal = edb({"passwd", file, "-p", "s3cret-word"});
    EXPECT_EQ(no_terminal.status, 2);
    EXPECT_NE(no_terminal.err.find("no terminal"), std::string::npos) << no_terminal.err;
}

}  // namespace
