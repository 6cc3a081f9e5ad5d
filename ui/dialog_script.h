// The test seam of the modal dialogs. While a script is installed (set_dialog_script), no
// dialog, balloon or pop-up menu is shown: each dialog takes the next queued answer and
// is recorded, a pop-up menu records which of its items a user could choose. Tests
// install one; the program never does.
//
// Dialogs may be requested from worker threads, so every member is guarded by mu_.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet::ui {

struct ShownDialog {
    enum class Kind { kMessage, kQuestion, kInput, kPassword, kBalloon } kind;
    std::string text;  // message text, input-box caption, tries left, or balloon text
};

class DialogScript {
  public:
    // The answers of the next dialogs; message boxes need none. Without a queued answer a
    // question is No, an input box or the password prompt is cancelled.
    void answer_question(bool yes);
    void answer_input(bool confirmed, std::string_view text = {});
    void answer_password(bool confirmed, std::string_view password = {});
    // Every dialog shown since the last call, in order.
    std::vector<ShownDialog> take_shown();
    // Whether the last pop-up menu offered the item (by caption) enabled.
    bool last_popup_item_enabled(std::string_view item) const;

    // The front end's side.
    bool next_question(std::string_view text);
    bool next_input(std::string_view caption, std::string* text);
    bool next_password(int tries_left, std::string* password);
    void record(ShownDialog::Kind kind, std::string_view text);
    void record_popup(std::map<std::string, bool, std::less<>> items);

  private:
    using Entry = std::pair<bool, std::string>;
    static bool take_entry(std::deque<Entry>& queue, std::string* text);

    mutable std::mutex mu_;
    std::deque<bool> questions_;
    std::deque<Entry> inputs_;
    std::deque<Entry> passwords_;
    std::vector<ShownDialog> shown_;
    std::map<std::string, bool, std::less<>> last_popup_;
};

// Installs `script` for every later dialog of the process; nullptr shows real dialogs
// again. The caller keeps it alive while installed.
void set_dialog_script(DialogScript* script);
DialogScript* dialog_script();

}  // namespace quillet::ui
