#include "ui/dialog_script.h"

namespace quillet::ui {

void DialogScript::set_scripted(bool scripted) {
    std::lock_guard lock(mu_);
    scripted_ = scripted;
}

bool DialogScript::scripted() const {
    std::lock_guard lock(mu_);
    return scripted_;
}

void DialogScript::queue_question(bool yes) {
    std::lock_guard lock(mu_);
    questions_.push_back(yes);
}

void DialogScript::queue_input(bool confirmed, std::string_view text) {
    std::lock_guard lock(mu_);
    inputs_.emplace_back(confirmed, std::string(text));
}

void DialogScript::queue_password(bool confirmed, std::string_view password) {
    std::lock_guard lock(mu_);
    passwords_.emplace_back(confirmed, std::string(password));
}

bool DialogScript::next_question() {
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

bool DialogScript::next_input(std::string* text) {
    std::lock_guard lock(mu_);
    return take_entry(inputs_, text);
}

bool DialogScript::next_password(std::string* password) {
    std::lock_guard lock(mu_);
    return take_entry(passwords_, password);
}

void DialogScript::record(ShownDialog::Kind kind, std::string_view text) {
    std::lock_guard lock(mu_);
    shown_.push_back(ShownDialog{kind, std::string(text)});
}

std::vector<ShownDialog> DialogScript::take_shown() {
    std::lock_guard lock(mu_);
    return std::exchange(shown_, {});
}

}  // namespace quillet::ui
