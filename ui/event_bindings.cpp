#include "ui/event_bindings.h"

namespace quillet::ui {

void EventBindings::bind(std::string_view window, std::string_view control, Event event, Handler handler) {
    handlers_[Key(window, control, event)].push_back(std::move(handler));
}

std::vector<Handler> EventBindings::handlers(std::string_view window, std::string_view control, Event event) const {
    auto it = handlers_.find(Key(window, control, event));
    return it == handlers_.end() ? std::vector<Handler>() : it->second;
}

}  // namespace quillet::ui
