// The Qt toolkit under the front end. The window thread is the thread that created the
// QApplication; posted tasks go to an object living there.
#include "ui/qt_window_layer.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include "ui/qt/dialogs.h"
#include "ui/qt/password_prompt.h"
#include "ui/qt/qt_window.h"

namespace quillet::ui {
namespace {

std::unique_ptr<QApplication> make_application() {
    if (QCoreApplication::instance()) return nullptr;
    static int argc = 1;
    static char name[] = "quillet";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

class QtToolkit final : public Toolkit {
  public:
    QtToolkit() : owned_app_(make_application()) {
        // The front end decides when the program ends: when its last form window has gone.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    ~QtToolkit() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    std::unique_ptr<ToolkitWindow> create_window(const FormDef& form, WindowEvents events) override {
        return make_qt_window(form, std::move(events));
    }

    void show_message(std::string_view text) override { ui::show_message(text); }
    bool ask_question(std::string_view text) override { return ui::ask_question(text); }
    bool ask_input(std::string_view caption, std::string_view prompt, std::string_view initial,
                   std::string* entered) override {
        return ui::ask_input(caption, prompt, initial, entered);
    }
    bool ask_password(int tries_left, std::string* password) override { return ui::ask_password(tries_left, password); }
    void show_balloon(std::string_view text, Point screen) override { ui::show_balloon(text, screen); }

    void close_dialogs() override {
        while (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            if (QApplication::activePopupWidget() == popup) break;  // it refused: do not spin
        }
        while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
            if (QApplication::activeModalWidget() == dialog) break;
        }
    }

    Point cursor_position() const override {
        QPoint pos = QCursor::pos();
        return Point{pos.x(), pos.y()};
    }

    void post(std::function<void()> task) override {
        QMetaObject::invokeMethod(&dispatcher_, std::move(task), Qt::QueuedConnection);
    }
    bool on_window_thread() const override { return QThread::currentThread() == dispatcher_.thread(); }

    void process_events() override { QCoreApplication::processEvents(); }
    void wait_processing_events(int milliseconds) override {
        QEventLoop loop;
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        loop.exec();
    }
    int run_loop() override { return QCoreApplication::exec(); }
    void quit() override { QCoreApplication::exit(0); }

  private:
    std::unique_ptr<QApplication> owned_app_;
    QObject dispatcher_;  // destroyed first: tasks still queued for it are dropped
};

}  // namespace

QtWindowLayer::QtWindowLayer() : FrontEnd(std::make_unique<QtToolkit>()) {}

}  // namespace quillet::ui
