// form_preview <directory>: loads each of the six windows as the program would and saves
// <directory>/<window>.png, with the sample contents of sample_texts.h, and the sync
// window once more as filled for a WebDAV folder (ftp_webdav.png).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <string_view>

#include "tools/form_preview/sample_texts.h"
#include "ui/forms.h"
#include "ui/qt_window_layer.h"

namespace {

using quillet::ui::QtWindowLayer;

QWidget* find_window(std::string_view name) {
    const QString wanted = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == wanted && w->isVisible()) return w;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: form_preview <directory>\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    QtWindowLayer layer;
    QDir().mkpath(directory);
    int failures = 0;
    auto save = [&](std::string_view name, const QString& stem,
                    void (*fill)(quillet::ui::WindowLayer&, std::string_view)) {
        layer.load_window(name);
        fill(layer, name);
        layer.wait_processing_events(200);  // let the window system map and paint it
        QWidget* window = find_window(name);
        const QString file = directory + QLatin1Char('/') + stem + QStringLiteral(".png");
        if (!window || !window->grab().save(file)) {
            std::fprintf(stderr, "form_preview: could not save %s\n", file.toLocal8Bit().constData());
            ++failures;
        }
        layer.destroy_window(name);
    };
    for (std::string_view name :
         {quillet::ui::forms::main::window, quillet::ui::forms::login::window, quillet::ui::forms::setup::window,
          quillet::ui::forms::ftp::window, quillet::ui::forms::record::window, quillet::ui::forms::generator::window}) {
        save(name, QString::fromLatin1(name.data(), name.size()), quillet::form_preview::fill_with_samples);
    }
    // The same window filled for a WebDAV folder.
    save(quillet::ui::forms::ftp::window, QStringLiteral("ftp_webdav"),
         [](quillet::ui::WindowLayer& windows, std::string_view) {
             quillet::form_preview::fill_with_webdav_samples(windows);
         });
    return failures == 0 ? 0 : 1;
}
