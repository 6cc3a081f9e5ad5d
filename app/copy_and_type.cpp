#include "app/copy_and_type.h"

#include <array>
#include <memory>

#include "app/record_list.h"
#include "app/session.h"
#include "app/text_cipher.h"
#include "platform/clipboard.h"
#include "platform/hot_keys.h"
#include "platform/typist.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using platform::HotKey;
using ui::Event;
namespace forms = quillet::ui::forms;

constexpr std::string_view kSeparator = "  ";
constexpr std::array<HotKey, 3> kHotKeys = {HotKey::kF1, HotKey::kF2, HotKey::kF3};

// The identifiers of the latest registration, F1, F2, F3 in this order. Window thread only.
struct HotKeyIdentifiers {
    std::array<int, 3> of_key{};
};

// Window thread only; never reset, so identifiers stay unique for the whole run.
int next_hot_key_identifier = kFirstHotKeyIdentifier;

std::string selected_cell(const ui::WindowLayer& windows, RecordColumn column) {
    int row = windows.list_selected_row(forms::main::window, forms::main::list);
    return row < 0 ? std::string() : windows.list_cell(forms::main::window, forms::main::list, row, column);
}

// Always from the stored cipher text: the shown cell may hold the revealed clear text.
std::string selected_password(const ui::WindowLayer& windows) {
    return decipher(selected_password_cipher(windows), kCipherKey);
}

void copy(std::string text, platform::Sensitivity sensitivity) {
    platform::clipboard().set_text(text, sensitivity);
    wipe_text(text);
}

void bind_copy_commands(ui::WindowLayer& windows) {
    windows.bind(forms::main::window, forms::main::menu::copy_account, Event::kChosen,
                 [&windows](int, int) { copy(selected_cell(windows, kAccountColumn), platform::Sensitivity::kPlain); });
    windows.bind(forms::main::window, forms::main::menu::copy_password, Event::kChosen,
                 [&windows](int, int) { copy(selected_password(windows), platform::Sensitivity::kSecret); });
    windows.bind(forms::main::window, forms::main::menu::copy_account_and_password, Event::kChosen,
                 [&windows](int, int) {
                     std::string password = selected_password(windows);
                     copy(selected_cell(windows, kAccountColumn) + std::string(kSeparator) + password,
                          platform::Sensitivity::kSecret);
                     wipe_text(password);
                 });
    windows.bind(forms::main::window, forms::main::menu::copy_all, Event::kChosen, [&windows](int, int) {
        std::string password = selected_password(windows);
        std::string all;
        for (const std::string& part : {selected_cell(windows, kPlatformColumn), selected_cell(windows, kAccountColumn),
                                        password, selected_cell(windows, kAddressColumn)}) {
            all += part;
            all += kSeparator;
        }
        all += selected_cell(windows, kRemarkColumn);
        copy(std::move(all), platform::Sensitivity::kSecret);
        wipe_text(password);
    });
}

// Whether the window under the pointer took the text (an empty text is taken trivially);
// the window is reported in `target`.
bool type_into_window_under_pointer(std::string text, platform::DesktopWindow* target = nullptr) {
    platform::Typist& typist = platform::typist();
    const platform::DesktopWindow window = typist.window_under_pointer();
    if (target != nullptr) *target = window;
    const bool typed = typist.type_text(window, text);
    wipe_text(text);
    return typed;
}

// The account, Tab, then the password. The password goes only to the top-level window
// that took the account: the pointer may have moved to another program during the pauses,
// and a password typed there is a leak.
void type_account_and_password(ui::WindowLayer& windows) {
    platform::DesktopWindow account_window = 0;
    if (!type_into_window_under_pointer(selected_cell(windows, kAccountColumn), &account_window)) return;
    windows.wait_processing_events(kTypingPauseMs);
    platform::Typist& typist = platform::typist();
    typist.press_tab();
    windows.wait_processing_events(kTypingPauseMs);
    // Taken anew: the Tab may have moved on to a box the pointer is now over.
    const platform::DesktopWindow password_window = typist.window_under_pointer();
    const platform::DesktopWindow account_top = typist.top_level_of(account_window);
    if (password_window == 0 || account_top == 0 || typist.top_level_of(password_window) != account_top) return;
    std::string password = selected_password(windows);
    typist.type_text(password_window, password);
    wipe_text(password);
}

void dispatch_hot_key(ui::WindowLayer& windows, const HotKeyIdentifiers& identifiers, int identifier) {
    if (identifier == 0) return;  // a refused key's identifier is 0 and names no key
    if (identifier == identifiers.of_key[0]) {
        type_into_window_under_pointer(selected_cell(windows, kAccountColumn));
    } else if (identifier == identifiers.of_key[1]) {
        type_into_window_under_pointer(selected_password(windows));
    } else if (identifier == identifiers.of_key[2]) {
        type_account_and_password(windows);
    }
}

void register_hot_keys(ui::WindowLayer& windows, HotKeyIdentifiers& identifiers) {
    for (std::size_t i = 0; i < kHotKeys.size(); ++i) {
        int identifier = next_hot_key_identifier++;
        bool taken = platform::hot_keys().grab(kHotKeys[i], [&windows, identifier] {
            windows.raise(forms::main::window, forms::main::hot_keys, Event::kFeedback, identifier, 0);
        });
        identifiers.of_key[i] = taken ? identifier : 0;
    }
}

// With no one logged in the keys must type nothing, so they go back with the main window.
void release_hot_keys(HotKeyIdentifiers& identifiers) {
    for (HotKey key : kHotKeys) platform::hot_keys().release(key);
    identifiers.of_key = {};
}

}  // namespace

void bind_copy_and_type(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    auto identifiers = std::make_shared<HotKeyIdentifiers>();
    bind_copy_commands(windows);
    windows.bind(forms::main::window, "", Event::kCreated,
                 [&windows, identifiers](int, int) { register_hot_keys(windows, *identifiers); });
    windows.bind(forms::main::window, "", Event::kDestroyed,
                 [identifiers](int, int) { release_hot_keys(*identifiers); });
    windows.bind(forms::main::window, forms::main::hot_keys, Event::kFeedback,
                 [&windows, identifiers](int identifier, int) { dispatch_hot_key(windows, *identifiers, identifier); });
}

void copy_secret_to_clipboard(const std::string& text) {
    platform::clipboard().set_text(text, platform::Sensitivity::kSecret);
}

}  // namespace quillet::app
