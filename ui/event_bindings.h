// Handlers bound to window and control events, kept by window name so that they apply
// to every later load of that window. Used on the window thread only, so unguarded.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "ui/window_layer.h"

namespace quillet::ui {

class EventBindings {
public:
    void bind(std::string_view window, std::string_view control, Event event, Handler handler);
    // A copy, so that handlers may bind or unload windows while the list is being run.
    std::vector<Handler> handlers(std::string_view window, std::string_view control, Event event) const;

private:
    using Key = std::tuple<std::string, std::string, Event>;
    std::map<Key, std::vector<Handler>> handlers_;
};

}  // namespace quillet::ui
