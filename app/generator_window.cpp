#include "app/generator_window.h"

#include <string>

#include "app/password_generator.h"

namespace quillet::app {
namespace {

using ui::Event;
using ui::kGeneratorWindow;
using ui::kRecordWindow;

void show_tip(ui::WindowLayer& windows, std::string_view text) {
    windows.balloon_tip(kGeneratorWindow, "气球提示框1", text, windows.cursor_position());
}

void generate(ui::WindowLayer& windows) {
    const std::string length_text = windows.text(kGeneratorWindow, "编辑框_位数");
    if (length_text.empty()) {
        show_tip(windows, "请输入密码位数");
        return;
    }
    const int length = parse_length(length_text);
    if (length > kMaxGeneratedLength) {
        show_tip(windows, "密码位数不能超过" + std::to_string(kMaxGeneratedLength));
        return;
    }
    const std::string password = generate_password(length, windows.is_checked(kGeneratorWindow, "选择框_大小英文"),
                                                   windows.is_checked(kGeneratorWindow, "选择框_符号"));
    windows.set_text(kGeneratorWindow, "编辑框_结果", password);
}

void export_result(ui::WindowLayer& windows) {
    // The record window has no owner tie to the generator and may have been closed meanwhile.
    if (windows.is_open(kRecordWindow)) {
        windows.set_text(kRecordWindow, "编辑框_密码", windows.text(kGeneratorWindow, "编辑框_结果"));
    }
    windows.destroy_window(kGeneratorWindow);
}

}  // namespace

void bind_generator_window(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    windows.bind(kRecordWindow, "按钮_随机密码", Event::kClicked,
                 [&windows](int, int) { windows.load_window(kGeneratorWindow); });
    windows.bind(kGeneratorWindow, "按钮_生成", Event::kClicked, [&windows](int, int) { generate(windows); });
    windows.bind(kGeneratorWindow, "按钮_导出", Event::kClicked, [&windows](int, int) { export_result(windows); });
}

}  // namespace quillet::app
