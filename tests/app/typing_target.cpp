// The window the end-to-end typing tests type into: two line edits, the first focused.
// It prints "ready" once it is on screen, then, after every change, a line with both
// contents in UTF-8, separated by the unit separator 0x1F.
// Usage: quillet_typing_target X Y (the top-left corner on the screen).
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) return 2;
    QWidget window;
    window.setWindowTitle("typing target");
    auto* layout = new QVBoxLayout(&window);
    auto* first = new QLineEdit(&window);
    auto* second = new QLineEdit(&window);
    layout->addWidget(first);
    layout->addWidget(second);
    window.setGeometry(std::atoi(argv[1]), std::atoi(argv[2]), 300, 100);

    auto report = [first, second] {
        std::printf("%s\x1f%s\n", first->text().toUtf8().constData(), second->text().toUtf8().constData());
        std::fflush(stdout);
    };
    QObject::connect(first, &QLineEdit::textChanged, report);
    QObject::connect(second, &QLineEdit::textChanged, report);

    window.show();
    first->setFocus();
    QTimer exposed;
    QObject::connect(&exposed, &QTimer::timeout, [&] {
        if (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) return;
        exposed.stop();
        std::printf("ready\n");
        std::fflush(stdout);
    });
    exposed.start(10);
    return application.exec();
}
