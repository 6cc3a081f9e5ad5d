// Qt's GUI application without widgets or windows: enough for platform/qt's clipboard.
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "tools/quillet_cli/desktop_clipboard.h"

namespace quillet::cli {
namespace {

int argument_count = 1;
char program_name[] = "quillet-cli";
char* arguments[] = {program_name, nullptr};
std::unique_ptr<QGuiApplication> application;

bool has_display() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

bool start_desktop_clipboard(std::string* error) {
    // Without a display Qt would end the process instead of reporting.
    if (!has_display()) {
        *error = "no desktop session to copy into (DISPLAY is not set)";
        return false;
    }
    if (!application) application = std::make_unique<QGuiApplication>(argument_count, arguments);
    return true;
}

void serve_desktop_clipboard(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void stop_desktop_clipboard() { application.reset(); }

}  // namespace quillet::cli
