#include "ui/event_bindings.h"

#include "ui/forms.h"

namespace quillet::ui {

void EventBindings::bind(std::string_view window, std::string_view control, Event event, Handler handler) {
    // A handler bound to a name no form has would never run.
    event == Event::kChosen ? forms::check_menu_item(window, control) : forms::check_control(window, control);
    handlers_[Key(window, control, event)].push_back(std::move(handler));
}

std::vector<Handler> EventBindings::handlers(std::string_view window, std::string_view control, Event event) const {
    auto it = handlers_.find(Key(window, control, event));
    return it == handlers_.end() ? std::vector<Handler>() : it->second;
}

}  // namespace quillet::ui
