#include "app/update_notice.h"

#include <memory>
#include <string>
#include <string_view>

#include "net/update_request_version.h"
#include "platform/program_version.h"
#include "platform/shell.h"
#include "ui/forms.h"

namespace quillet::app {
namespace forms = quillet::ui::forms;

namespace {


// Window-thread state of the notice, shared by its handlers.
struct Notice {
    std::string download_address;
    // Counts main-window openings, so a check that ends after its window was closed
    // and opened again does not touch the newer window.
    unsigned opening = 0;
};

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// The service's address goes to the desktop's handler unchecked otherwise; only a web
// address in one piece (no spaces or control characters) may go there.
bool is_web_address(std::string_view address) {
    size_t scheme = starts_with_ignoring_case(address, "http://")    ? 7
                    : starts_with_ignoring_case(address, "https://") ? 8
                                                                     : 0;
    if (scheme == 0 || address.size() == scheme) return false;
    for (char c : address) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace

void bind_update_notice(AppState& state, net::VersionCheckClient& client) {
    ui::WindowLayer& windows = state.windows;
    client.set_message_sink([&windows](const std::string& text) {
        if (windows.on_window_thread()) {
            windows.message_box(text);
        } else {
            windows.post([&windows, text] { windows.message_box(text); });
        }
    });

    auto notice = std::make_shared<Notice>();
    // The check waits on the network, so it runs on a worker; its outcome is shown on
    // the window thread, if the same main window is still open.
    windows.bind(forms::main::window, "", ui::Event::kCreated, [&windows, &client, notice](int, int) {
        const unsigned opening = ++notice->opening;
        client.connect_in_background(
            std::string(net::kApplicationId), net::update_request_version(platform::program_version()),
            [&windows, notice, opening](bool has_newer_version, const std::string& download_address) {
                if (!has_newer_version) return;
                windows.post([&windows, notice, opening, download_address] {
                    if (notice->opening != opening || !windows.is_open(forms::main::window)) return;
                    windows.set_visible(forms::main::window, forms::main::update_notice, true);
                    notice->download_address = download_address;
                });
            });
    });
    windows.bind(forms::main::window, forms::main::update_notice, ui::Event::kLeftButtonPressed, [notice](int, int) {
        if (is_web_address(notice->download_address)) platform::shell().open(notice->download_address);
    });
}

}  // namespace quillet::app
