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
#include "app/remote_store.h"
#include "app/session.h"
#include "app/store_sync.h"
#include "app/text_cipher.h"
#include "app/unstorable_text.h"
#include "app/webdav_remote.h"
#include "app/worker_question.h"
#include "ftp/database_sync.h"
#include "ftp/webdav_failure.h"
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
constexpr const char* kForgetServerHint =
    "如确认服务器更换了证书，请退出程序，删除ftp.ini中[ftp]节以zhengshu=开头的一行，再重新连接";

std::string pin_question(const std::string& server, const std::string& fingerprint) {
    return "服务器 " + server + " 的证书不是受信任的机构颁发的，无法确认服务器的身份。\n\n证书指纹（SHA-256）：\n" +
           fingerprint + "\n\n请与服务器上证书的指纹核对，一致时点击‘是’记住此证书并继续连接，以后只接受此证书。";
}

// What the window shows for a connect: the caption, with the reason after it when the
// connect failed, and then a message box as well: the group box's caption is too narrow to
// show most reasons whole.
struct ConnectReport {
    std::string caption;
    std::string message;  // empty: the caption says enough
};
ConnectReport connect_report(const platform::Status& status) {
    if (status.ok()) return {"FTP - 连接成功", {}};
    const std::string failed = "FTP - 连接失败：" + status.message();
    switch (status.code()) {
        case ftp::kPlainDeclined:
        case ftp::kPinDeclined:
            return {"FTP - 连接已取消", {}};
        case ftp::kHostNameMismatch:
            return {failed, status.message() + "，未连接"};
        case ftp::kCertificateChanged:
        case ftp::kTrustBroken:
            return {failed, "服务器的" + status.message() + "，未连接。" + kForgetServerHint};
        default:
            return {failed, failed};
    }
}

// A text of the window as it reads for the server in use: the FTP texts name WebDAV instead
// when the address is a WebDAV URL.
std::string named(std::string text, bool webdav) {
    if (!webdav) return text;
    for (std::size_t at = text.find("FTP"); at != std::string::npos; at = text.find("FTP", at + 6)) {
        text.replace(at, 3, "WebDAV");
    }
    return text;
}

// The same for a WebDAV connect, whose client has reasons of its own.
ConnectReport webdav_connect_report(const platform::Status& status) {
    if (status.ok()) return {"WebDAV - 连接成功", {}};
    const std::string failed = "WebDAV - 连接失败：" + status.message();
    switch (status.code()) {
        case ftp::kDavCertificateDeclined:
            return {"WebDAV - 连接已取消", {}};
        case ftp::kDavHostNameMismatch:
            return {failed, status.message() + "，未连接"};
        case ftp::kDavCertificateChanged:
            return {failed, status.message() + "。" + kForgetServerHint};
        default:
            return {failed, failed};
    }
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
        if (is_webdav_address(server)) {
            connect_webdav(server, user, password, port_text);
            return;
        }
        start([this, server, user, password, port_text, opening = opening_, ticket = client_.take_connect_ticket()] {
            std::string typed(password.text());  // libcurl keeps its own copy
            const platform::Status status = client_.connect(ticket, server, user, typed, port_number(port_text), true);
            platform::wipe_secret(typed);
            windows_.post([this, status, server, user, password, port_text, opening] {
                connect_ended(status.ok(), connect_report(status), {server, user, password, port_text}, opening);
            });
        });
    }

    // What the user typed for a connect, kept whatever its outcome.
    struct TypedServer {
        std::string server;
        std::string user;
        platform::SecretText password;
        std::string port_text;
    };

    // Back on the window thread after a connect of either kind: the settings are saved, then
    // the window shows the outcome, if it is still the one that asked.
    void connect_ended(bool ok, const ConnectReport& report, const TypedServer& typed, std::uint64_t opening) {
        end_worker();
        save_setting("fuwuqi", typed.server);
        save_setting("name", typed.user);
        // A session that ended meanwhile has no key to seal it with.
        if (!state_.session_password.empty()) save_password(session_ftp_key(state_), typed.password.text());
        save_setting("duankou", typed.port_text);
        if (opening != opening_ || !windows_.is_open(forms::ftp::window)) return;
        connected_ = ok;
        windows_.set_text(forms::ftp::window, forms::ftp::status_group, report.caption);
        enable_buttons();
        if (!report.message.empty()) windows_.message_box(report.message);
    }

    void upload() {
        if (busy_ || refuse_unstorable_text(windows_, forms::ftp::window, {{forms::ftp::path, "存储路径"}}, "未上传") ||
            !windows_.question_box(named("上传FTP数据会将FTP上数据覆盖，点击‘是’开始上传", webdav_in_use()))) {
            return;
        }
        transfer(kUpload, [](RemoteStore& remote, const ftp::DatabaseSync& sync, std::string_view password,
                             const Ask& ask) { return upload_with_merge(remote, sync, password, ask); });
    }

    void download() {
        if (busy_ || refuse_unstorable_text(windows_, forms::ftp::window, {{forms::ftp::path, "存储路径"}}, "未下载") ||
            !windows_.question_box(named("下载FTP数据会将本地数据覆盖，如发现数据不全，将本地data备份文件修改为"
                                         "data.edb即可，点击‘是’开始下载",
                                         webdav_in_use()))) {
            return;
        }
        transfer(kDownload, [](RemoteStore& remote, const ftp::DatabaseSync& sync, std::string_view password,
                               const Ask& ask) { return download_with_merge(remote, sync, password, ask); });
    }

    // The window is going: a running connect or transfer is cancelled and waited for,
    // so the client is never used after this close.
    void destroyed() {
        questions_.cancel();
        client_.close();
        webdav_.close();
        end_worker();
        connected_ = false;
    }

    ftp::WebDavClient& webdav() { return webdav_; }

  private:
    // A transfer that may ask the user (from its worker) whether to merge.
    using Procedure = std::function<SyncOutcome(RemoteStore&, const ftp::DatabaseSync&, std::string_view, const Ask&)>;

    // The 地址 box decides the server kind, for the connect and for each transfer.
    bool webdav_in_use() { return is_webdav_address(windows_.text(forms::ftp::window, forms::ftp::address)); }

    // The transfers' server: the FTP client, or the WebDAV folder the boxes name now.
    std::shared_ptr<RemoteStore> remote() {
        if (!webdav_in_use()) return std::make_shared<FtpRemote>(client_);
        const platform::SecretText password(windows_.text(forms::ftp::window, forms::ftp::password));
        return std::make_shared<WebDavRemote>(
            webdav_,
            webdav_account(windows_.text(forms::ftp::window, forms::ftp::address),
                           windows_.text(forms::ftp::window, forms::ftp::port),
                           windows_.text(forms::ftp::window, forms::ftp::account), password.text()),
            settings_file());
    }

    // The connect of a WebDAV URL; the settings are saved as for FTP.
    void connect_webdav(const std::string& url, const std::string& user, const platform::SecretText& password,
                        const std::string& port_text) {
        auto remote = std::make_shared<WebDavRemote>(webdav_, webdav_account(url, port_text, user, password.text()),
                                                     settings_file());
        start([this, remote, url, user, password, port_text, path = windows_.text(forms::ftp::window, forms::ftp::path),
               opening = opening_] {
            const platform::Status status = remote->connect(path);
            windows_.post([this, status, url, user, password, port_text, opening] {
                connect_ended(status.ok(), webdav_connect_report(status), {url, user, password, port_text}, opening);
            });
        });
    }

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
        const bool webdav = webdav_in_use();
        start([this, sync, outcome, procedure, webdav, remote = remote(), password = state_.session_password,
               opening = opening_] {
            const SyncOutcome result = procedure(*remote, sync, password.text(),
                                                 [this](const std::string& text) { return questions_.ask(text); });
            windows_.post([this, result, outcome, webdav, storage_path = sync.storage_path, opening] {
                end_worker();
                const bool ok = result.ok;
                const bool same_window = opening == opening_ && windows_.is_open(forms::ftp::window);
                save_setting("lu", same_window ? windows_.text(forms::ftp::window, forms::ftp::path) : storage_path);
                std::string caption = named(ok ? outcome.success_caption : outcome.failure_caption, webdav);
                std::string message = ok ? outcome.success_message : outcome.failure_message;
                if (result.cancelled) {
                    caption = named(outcome.cancelled_caption, webdav);
                    message = outcome.cancelled_message;
                } else if (result.no_free_id) {
                    message += "：记录编号已用完，无法合并，数据未改动";
                } else if (result.merged) {
                    caption += "（已合并）";
                    message += "，已合并两边的数据：" + describe_counts(*result.merged);
                } else if (!ok && !result.reason.empty()) {
                    caption += "：" + result.reason;
                    message += "：" + result.reason;
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
    ftp::WebDavClient webdav_;
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
    client.set_trust_store(ftp_trust_store(settings_file));
    client.set_trust_consent(window->consent());
    window->webdav().set_trust_store(ftp_trust_store(settings_file));
    window->webdav().set_trust_consent(window->consent());
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
