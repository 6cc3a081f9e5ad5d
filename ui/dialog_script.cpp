#include "ui/dialog_script.h"

#include <atomic>

namespace quillet::ui {
namespace {

std::atomic<DialogScript*> installed{nullptr};

}  // namespace

void set_dialog_script(DialogScript* script) { installed.store(script); }

DialogScript* dialog_script() { return installed.load(); }

void DialogScript::answer_question(bool yes) {
    std::lock_guard lock(mu_);
    questions_.push_back(yes);
}

void DialogScript::answer_input(bool confirmed, std::string_view text) {
    std::lock_guard lock(mu_);
    inputs_.emplace_back(confirmed, std::string(text));
}

void DialogScript::answer_password(bool confirmed, std::string_view password) {
    std::lock_guard lock(mu_);
    passwords_.emplace_back(confirmed, std::string(password));
}

std::vector<ShownDialog> DialogScript::take_shown() {
    std::lock_guard lock(mu_);
    return std::exchange(shown_, {});
}

bool DialogScript::last_popup_item_enabled(std::string_view item) const {
    std::lock_guard lock(mu_);
    auto it = last_popup_.find(item);
    return it != last_popup_.end() && it->second;
}

bool DialogScript::next_question(std::string_view text) {
    record(ShownDialog::Kind::kQuestion, text);
    std::lock_guard lock(mu_);
    if (questions_.empty()) return false;
    bool yes = questions_.front();
    questions_.pop_front();
    return yes;
}

bool DialogScript::take_entry(std::deque<Entry>& queue, std::string* text) {
    if (queue.empty()) return false;
    auto [confirmed, entered] = std::move(queue.front());
    queue.pop_front();
    if (confirmed && text) *text = std::move(entered);
    return confirmed;
}

bool DialogScript::next_input(std::string_view caption, std::string* text) {
    record(ShownDialog::Kind::kInput, caption);
    std::lock_guard lock(mu_);
    return take_entry(inputs_, text);
}

bool DialogScript::next_password(int tries_left, std::string* password) {
    record(ShownDialog::Kind::kPassword, std::to_string(tries_left));
    std::lock_guard lock(mu_);
    return take_entry(passwords_, password);
}

void DialogScript::record(ShownDialog::Kind kind, std::string_view text) {
    std::lock_guard lock(mu_);
    shown_.push_back(ShownDialog{kind, std::string(text)});
}

void DialogScript::record_popup(std::map<std::string, bool, std::less<>> items) {
    std::lock_guard lock(mu_);
    last_popup_ = std::move(items);
}

}  // namespace quillet::ui
