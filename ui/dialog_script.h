// The scripted side of the modal dialogs: queued answers and a record of what was shown.
// Dialogs may be requested from worker threads, so every member is guarded by mu_.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/scripted_dialogs.h"

namespace quillet::ui {

class DialogScript {
public:
    void set_scripted(bool scripted);
    bool scripted() const;

    void queue_question(bool yes);
    void queue_input(bool confirmed, std::string_view text);
    void queue_password(bool confirmed, std::string_view password);

    // The next answers; without a queued one a question is No and an entry is cancelled.
    bool next_question();
    bool next_input(std::string* text);
    bool next_password(std::string* password);

    void record(ShownDialog::Kind kind, std::string_view text);
    std::vector<ShownDialog> take_shown();

private:
    using Entry = std::pair<bool, std::string>;
    static bool take_entry(std::deque<Entry>& queue, std::string* text);

    mutable std::mutex mu_;
    bool scripted_ = false;
    std::deque<bool> questions_;
    std::deque<Entry> inputs_;
    std::deque<Entry> passwords_;
    std::vector<ShownDialog> shown_;
};

}  // namespace quillet::ui
