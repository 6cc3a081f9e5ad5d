#include "app/unstorable_text.h"

#include <string>

namespace quillet::app {

bool refuse_unstorable_text(ui::WindowLayer& windows, std::string_view window, std::initializer_list<NamedBox> boxes,
                            std::string_view outcome) {
    for (const NamedBox& box : boxes) {
        if (windows.text_fits_gbk(window, box.control)) continue;
        windows.message_box(std::string(box.name) + "含有无法保存的字符（如表情符号、生僻字），" +
                            std::string(outcome));
        return true;
    }
    return false;
}

}  // namespace quillet::app
