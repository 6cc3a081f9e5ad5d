#include "app/ftp_window.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/database_check.h"
#include "app/ftp_password.h"
#include "app/ftp_trust_store.h"
#include "app/list_load.h"
#include "app/record_store.h"
#include "app/session.h"
#include "app/store_sync.h"
#include "app/text_cipher.h"
#include "app/unstorable_text.h"
#include "app/worker_question.h"
#include "ftp/database_sync.h"
#include "platform/program_dir.h"
#include "platform/secret_text.h"
#include "platform/settings_file.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using ui::Event;
namespace forms = quillet::ui::forms;

constexpr const char* kSection = "ftp";
constexpr const char* kPasswordKey = "password";

struct SettingBox {
    const char* key;
    std::string_view box;
};
// The values kept under the text cipher; the password is sealed (app/ftp_password.h).
constexpr SettingBox kSettings[] = {{"fuwuqi", forms::ftp::address},
                                    {"name", forms::ftp::account},
                                    {"duankou", forms::ftp::port},
                                    {"lu", forms::ftp::path}};

std::string settings_file() { return platform::program_file("ftp.ini"); }

void save_setting(const char* key, const std::string& value) {
    platform::write_setting(settings_file(), kSection, key, encipher(value, kCipherKey));
}

void save_password(const FtpKey& key, std::string_view password) {
    platform::write_setting(settings_file(), kSection, kPasswordKey, seal_ftp_password(key, password));
}

// The FTP password as the window shows it: what the session's key opens, or an empty box
// for a value it does not open. An old enciphered value is resealed the first time it is
// read, and a value left with two seals by an interrupted password change keeps one.
platform::SecretText load_password(const FtpKey& key) {
    const std::string stored = platform::read_setting(settings_file(), kSection, kPasswordKey);
    if (!is_sealed_ftp_value(stored)) {
        platform::SecretText old(decipher(stored, kCipherKey));
        if (!old.text().empty()) save_password(key, old.text());
        return old;
    }
    platform::LockedBytes opened;
    if (!open_ftp_password(key, stored, &opened)) return {};
    if (!is_settled_ftp_value(key, stored)) save_password(key, opened.view());
    return platform::SecretText(std::string(opened.view()));
}

// The number as atoi reads it (leading blanks, a sign, then digits up to the first
// other character; none gives 0), held within int instead of overflowing.
int port_number(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), INT_MAX);
    }
    return static_cast<int>(negative ? -value : value);
}

struct Outcome {
    const char* success_caption;
    const char* success_message;
    const char* failure_caption;
    const char* failure_message;
    const char* cancelled_caption;
    const char* cancelled_message;
    bool success_refreshes_list;
};
constexpr const char* kPlainQuestion =
    "该服务器不支持加密连接（TLS）。继续连接将以明文发送FTP密码和数据文件。是否继续？";
// Where to forget a remembered server, as the README says.
constexpr const char* kTrustBrokenMessage =
    "服务器的加密连接（TLS）或证书与之前记住的不一致，未连接。如确认服务器更换了证书，请退出程序，"
    "删除ftp.ini中[ftp]节以zhengshu=开头的一行，再重新连接";

std::string pin_question(const std::string& server, const std::string& fingerprint) {
    return "服务器 " + server + " 的证书不是受信任的机构颁发的，无法确认服务器的身份。\n\n证书指纹（SHA-256）：\n" +
           fingerprint + "\n\n请与服务器上证书的指纹核对，一致时点击‘是’记住此证书并继续连接，以后只接受此证书。";
}

// What the window shows for a connect that failed because of the server's TLS.
struct RefusalReport {
    const char* caption;
    const char* message;  // nullptr: the caption says enough
};
RefusalReport refusal_report(ftp::ConnectRefusal refusal) {
    switch (refusal) {
        case ftp::ConnectRefusal::kPlainDeclined:
        case ftp::ConnectRefusal::kPinDeclined:
            return {"FTP - 连接已取消", nullptr};
        case ftp::ConnectRefusal::kHostNameMismatch:
            return {"FTP - 连接失败", "证书与服务器名称不符，未连接"};
        case ftp::ConnectRefusal::kTrustBroken:
            return {"FTP - 连接失败", kTrustBrokenMessage};
        case ftp::ConnectRefusal::kNone:
            break;
    }
    return {"FTP - 连接失败", nullptr};
}

constexpr Outcome kUpload{"FTP - 上传成功", "上传成功", "FTP - 上传失败", "上传失败", "FTP - 上传已取消",
                          "上传已取消",     false};
constexpr Outcome kDownload{"FTP - 下载成功", "下载成功", "FTP - 下载失败", "下载失败", "FTP - 下载已取消",
                            "下载已取消",     true};

// The window's logic. It lives as long as the window layer's bindings that hold it.
// Window-thread state only; the worker gets copies of what it needs and reports through
// the window layer's post().
class FtpWindow {
  public:
    FtpWindow(AppState& state, ftp::FtpClient& client)
        : state_(state), windows_(state.windows), client_(client), questions_(state.windows) {}
    ~FtpWindow() {
        questions_.cancel();
        end_worker();
    }

    // The client's questions, asked on the window thread while the connect waits.
    ftp::TrustConsent consent() {
        return {[this](const std::string&) { return questions_.ask(kPlainQuestion); },
                [this](const std::string& server, const std::string& fingerprint) {
                    return questions_.ask(pin_question(server, fingerprint));
                }};
    }

    void load_settings() {
        ++opening_;
        connected_ = false;
        for (const SettingBox& setting : kSettings) {
            windows_.set_text(forms::ftp::window, setting.box,
                              decipher(platform::read_setting(settings_file(), kSection, setting.key), kCipherKey));
        }
        windows_.set_text(forms::ftp::window, forms::ftp::password, load_password(session_ftp_key(state_)).text());
    }

    void connect() {
        if (busy_ || refuse_unstorable_text(windows_, forms::ftp::window,
                                            {{forms::ftp::address, "地址/IP"},
                                             {forms::ftp::port, "端口"},
                                             {forms::ftp::account, "账号"},
                                             {forms::ftp::password, "密码"}},
                                            "未连接")) {
            return;
        }
        const std::string server = windows_.text(forms::ftp::window, forms::ftp::address);
        const std::string user = windows_.text(forms::ftp::window, forms::ftp::account);
        // Every copy of the password (this one, the worker's, the posted one's) wipes itself.
        const platform::SecretText password(windows_.text(forms::ftp::window, forms::ftp::password));
        const std::string port_text = windows_.text(forms::ftp::window, forms::ftp::port);
        questions_.allow();
        start([this, server, user, password, port_text, opening = opening_, ticket = client_.TakeConnectTicket()] {
            std::string typed(password.text());  // libcurl keeps its own copy
            const bool ok = client_.Connect(ticket, server, user, typed, port_number(port_text), true);
            platform::wipe_secret(typed);
            const ftp::ConnectRefusal refusal = ok ? ftp::ConnectRefusal::kNone : client_.LastConnectRefusal();
            windows_.post([this, ok, refusal, server, user, password, port_text, opening] {
                end_worker();
                save_setting("fuwuqi", server);
                save_setting("name", user);
                // A session that ended meanwhile has no key to seal it with.
                if (!state_.session_password.empty()) save_password(session_ftp_key(state_), password.text());
                save_setting("duankou", port_text);
                if (opening != opening_ || !windows_.is_open(forms::ftp::window)) return;
                connected_ = ok;
                const RefusalReport report = refusal_report(refusal);
                windows_.set_text(forms::ftp::window, forms::ftp::status_group, ok ? "FTP - 连接成功" : report.caption);
                enable_buttons();
                if (report.message != nullptr) windows_.message_box(report.message);
            });
        });
    }

    void upload() {
        if (busy_ || refuse_unstorable_text(windows_, forms::ftp::window, {{forms::ftp::path, "存储路径"}}, "未上传") ||
            !windows_.question_box("上传FTP数据会将FTP上数据覆盖，点击‘是’开始上传")) {
            return;
        }
        transfer(kUpload, [](ftp::FtpClient& client, const ftp::DatabaseSync& sync, std::string_view password,
                             const Ask& ask) { return upload_with_merge(client, sync, password, ask); });
    }

    void download() {
        if (busy_ || refuse_unstorable_text(windows_, forms::ftp::window, {{forms::ftp::path, "存储路径"}}, "未下载") ||
            !windows_.question_box("下载FTP数据会将本地数据覆盖，如发现数据不全，将本地data备份文件修改为"
                                   "data.edb即可，点击‘是’开始下载")) {
            return;
        }
        transfer(kDownload, [](ftp::FtpClient& client, const ftp::DatabaseSync& sync, std::string_view password,
                               const Ask& ask) { return download_with_merge(client, sync, password, ask); });
    }

    // The window is going: a running connect or transfer is cancelled and waited for,
    // so the client is never used after this close.
    void destroyed() {
        questions_.cancel();
        client_.Close();
        end_worker();
        connected_ = false;
    }

  private:
    // A transfer that may ask the user (from its worker) whether to merge.
    using Procedure =
        std::function<SyncOutcome(ftp::FtpClient&, const ftp::DatabaseSync&, std::string_view, const Ask&)>;

    void transfer(const Outcome& outcome, Procedure procedure) {
        // The question lets events run: the idle logout may have closed the window (and
        // the connection) before the user answered.
        if (!windows_.is_open(forms::ftp::window)) return;
        ftp::DatabaseSync sync;
        sync.local_file = platform::program_file("data.edb");
        sync.storage_path = windows_.text(forms::ftp::window, forms::ftp::path);
        sync.lock_store = lock_store;
        sync.is_usable_database = [password = state_.session_password](const std::string& path) {
            return is_usable_database(path, password.text());
        };
        sync = with_base(sync);
        questions_.allow();
        start([this, sync, outcome, procedure, password = state_.session_password, opening = opening_] {
            const SyncOutcome result = procedure(client_, sync, password.text(),
                                                 [this](const std::string& text) { return questions_.ask(text); });
            windows_.post([this, result, outcome, storage_path = sync.storage_path, opening] {
                end_worker();
                const bool ok = result.ok;
                const bool same_window = opening == opening_ && windows_.is_open(forms::ftp::window);
                save_setting("lu", same_window ? windows_.text(forms::ftp::window, forms::ftp::path) : storage_path);
                std::string caption = ok ? outcome.success_caption : outcome.failure_caption;
                std::string message = ok ? outcome.success_message : outcome.failure_message;
                if (result.cancelled) {
                    caption = outcome.cancelled_caption;
                    message = outcome.cancelled_message;
                } else if (result.no_free_id) {
                    message += "：记录编号已用完，无法合并，数据未改动";
                } else if (result.merged) {
                    caption += "（已合并）";
                    message += "，已合并两边的数据：" + describe_counts(*result.merged);
                }
                if (same_window) {
                    windows_.set_text(forms::ftp::window, forms::ftp::status_group, caption);
                    enable_buttons();
                }
                windows_.message_box(message);
                const bool local_changed = outcome.success_refreshes_list || result.merged.has_value();
                if (ok && local_changed && windows_.is_open(forms::main::window)) start_list_load(state_);
            });
        });
    }

    void start(std::function<void()> work) {
        busy_ = true;
        for (std::string_view button : {forms::ftp::connect, forms::ftp::upload, forms::ftp::download}) {
            windows_.set_enabled(forms::ftp::window, button, false);
        }
        worker_ = std::thread(std::move(work));
    }

    // The worker has posted its result and is ending (or was cancelled): wait for it.
    void end_worker() {
        if (worker_.joinable()) worker_.join();
        busy_ = false;
    }

    void enable_buttons() {
        windows_.set_enabled(forms::ftp::window, forms::ftp::connect, true);
        windows_.set_enabled(forms::ftp::window, forms::ftp::upload, connected_);
        windows_.set_enabled(forms::ftp::window, forms::ftp::download, connected_);
    }

    AppState& state_;
    ui::WindowLayer& windows_;
    ftp::FtpClient& client_;
    WorkerQuestions questions_;
    std::thread worker_;
    bool busy_ = false;
    bool connected_ = false;
    // Counts the openings of the window, so a result never lands in a later opening.
    std::uint64_t opening_ = 0;
};

}  // namespace

void bind_ftp_window(AppState& state, ftp::FtpClient& client) {
    auto window = std::make_shared<FtpWindow>(state, client);
    client.SetTrustStore(ftp_trust_store(settings_file));
    client.SetTrustConsent(window->consent());
    ui::WindowLayer& windows = state.windows;
    windows.bind(forms::main::window, forms::main::open_ftp, Event::kClicked,
                 [&windows](int, int) { windows.load_window(forms::ftp::window); });
    windows.bind(forms::ftp::window, "", Event::kCreated, [window](int, int) { window->load_settings(); });
    windows.bind(forms::ftp::window, "", Event::kDestroyed, [window](int, int) { window->destroyed(); });
    windows.bind(forms::ftp::window, forms::ftp::connect, Event::kClicked, [window](int, int) { window->connect(); });
    windows.bind(forms::ftp::window, forms::ftp::upload, Event::kClicked, [window](int, int) { window->upload(); });
    windows.bind(forms::ftp::window, forms::ftp::download, Event::kClicked, [window](int, int) { window->download(); });
}

}  // namespace quillet::app
