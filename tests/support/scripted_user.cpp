#include "tests/support/scripted_user.h"

#include "ui/front_end.h"

namespace quillet::ui {

// A window under a modal dialog takes no menu command.
void ScriptedUser::choose_menu_item(std::string_view window, std::string_view item) {
    const FormDef* form = find_form(window);
    if (!form || !layer_.is_enabled(window, "") || opens_sub_menu(*form, item) ||
        !menu_item_reachable(layer_, window, item)) {
        return;
    }
    layer_.raise(window, item, Event::kChosen);
}

}  // namespace quillet::ui
