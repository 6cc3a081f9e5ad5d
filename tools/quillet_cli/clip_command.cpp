// clip: the account, the password or both on the clipboard, as the list's copy commands
// put them there, held in the foreground until the copy's time is up.
#include <csignal>
#include <cstdio>

#include "app/clipboard_hold.h"
#include "app/session.h"
#include "app/text_cipher.h"
#include "tools/quillet_cli/commands.h"
#include "tools/quillet_cli/console.h"
#include "tools/quillet_cli/desktop_clipboard.h"
#include "tools/quillet_cli/login.h"
#include "tools/quillet_cli/record_lookup.h"

namespace quillet::cli {
namespace {

volatile std::sig_atomic_t stop_requested = 0;

void request_stop(int) { stop_requested = 1; }

// Ctrl-C, a closed terminal or a plain kill end the wait early, and the secret is taken
// off before the command ends.
class StopSignals {
  public:
    StopSignals() {
        stop_requested = 0;
        for (int i = 0; i < 3; ++i) previous_[i] = std::signal(kSignals[i], request_stop);
    }
    ~StopSignals() {
        for (int i = 0; i < 3; ++i) std::signal(kSignals[i], previous_[i]);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
    void (*previous_[3])(int) = {};
};

// The same texts as the list's 复制账号, 复制密码 and 账号+密码.
constexpr char kSeparator[] = "  ";

}  // namespace

int run_clip(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {}, &error)) return usage_error(error);
    std::int32_t id = 0;
    if (const int status = parse_record_id(line, &id); status != kExitOk) return status;
    const std::string what = line.positional.size() > 1 ? line.positional[1] : "password";
    if (what != "account" && what != "password" && what != "both") {
        return usage_error("clip copies \"account\", \"password\" or \"both\", not \"" + what + "\"");
    }
    if (line.positional.size() > 2) return usage_error("clip takes a record ID and what to copy");
    if (!start_desktop_clipboard(&error)) return fail(error);

    std::string password;
    int status = log_in(line, &password);
    std::optional<app::Record> record;
    if (status == kExitOk) {
        record = record_with_id(password, id);
        if (!record) status = fail("no record with ID " + std::to_string(id));
    }
    app::wipe_text(password);
    if (status != kExitOk) {
        stop_desktop_clipboard();
        return status;
    }

    std::string text;
    platform::Sensitivity sensitivity = platform::Sensitivity::kSecret;
    if (what == "account") {
        text = record->account;
        sensitivity = platform::Sensitivity::kPlain;
    } else {
        std::string clear = app::decipher(record->password_cipher, app::kCipherKey);
        text = what == "both" ? record->account + kSeparator + clear : clear;
        app::wipe_text(clear);
    }
    const auto tell_copied = [&] {
        std::fprintf(stderr, "Copied the %s of record %d. The clipboard keeps it for %d s%s (Ctrl-C ends now).\n",
                     what == "both" ? "account and password" : what.c_str(), id, platform::kSecretLifetimeMs / 1000,
                     sensitivity == platform::Sensitivity::kSecret ? ", then it is cleared" : "");
    };
    app::HoldEnd end;
    {
        StopSignals signals;
        end = app::hold_on_clipboard(text, sensitivity,
                                     {tell_copied, serve_desktop_clipboard, [] { return stop_requested != 0; }});
    }
    app::wipe_text(text);
    stop_desktop_clipboard();
    switch (end) {
        case app::HoldEnd::kNotCopied:
            return fail("the clipboard did not take the text");
        case app::HoldEnd::kReplaced:
            std::fprintf(stderr, "Something else was copied meanwhile; the clipboard is left as it is.\n");
            break;
        case app::HoldEnd::kExpired:
        case app::HoldEnd::kInterrupted:
            if (sensitivity == platform::Sensitivity::kSecret) std::fprintf(stderr, "Clipboard cleared.\n");
            break;
    }
    return kExitOk;
}

}  // namespace quillet::cli
