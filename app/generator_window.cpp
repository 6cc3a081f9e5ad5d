#include "app/generator_window.h"

#include <string>

#include "app/password_generator.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using ui::Event;
namespace forms = quillet::ui::forms;

void show_tip(ui::WindowLayer& windows, std::string_view text) {
    windows.balloon_tip(forms::generator::window, forms::generator::tip, text, windows.cursor_position());
}

void generate(ui::WindowLayer& windows) {
    const std::string length_text = windows.text(forms::generator::window, forms::generator::length);
    if (length_text.empty()) {
        show_tip(windows, "请输入密码位数");
        return;
    }
    const int length = parse_length(length_text);
    if (length > kMaxGeneratedLength) {
        show_tip(windows, "密码位数不能超过" + std::to_string(kMaxGeneratedLength));
        return;
    }
    const std::string password =
        generate_password(length, windows.is_checked(forms::generator::window, forms::generator::mixed_case),
                          windows.is_checked(forms::generator::window, forms::generator::symbols));
    windows.set_text(forms::generator::window, forms::generator::result, password);
}

void export_result(ui::WindowLayer& windows) {
    // The record window has no owner tie to the generator and may have been closed meanwhile.
    if (windows.is_open(forms::record::window)) {
        windows.set_text(forms::record::window, forms::record::password,
                         windows.text(forms::generator::window, forms::generator::result));
    }
    windows.destroy_window(forms::generator::window);
}

}  // namespace

void bind_generator_window(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    windows.bind(forms::record::window, forms::record::random_password, Event::kClicked,
                 [&windows](int, int) { windows.load_window(forms::generator::window); });
    windows.bind(forms::generator::window, forms::generator::generate, Event::kClicked,
                 [&windows](int, int) { generate(windows); });
    windows.bind(forms::generator::window, forms::generator::export_result, Event::kClicked,
                 [&windows](int, int) { export_result(windows); });
}

}  // namespace quillet::app
