// The clipboard through Qt. A secret carries the "x-kde-passwordManagerHint" marker that
// clipboard managers honour by keeping no history of it. A timer takes it off again after
// its lifetime, and so does the end of the event loop: on exit Qt would otherwise hand
// the clipboard's content to a clipboard manager to keep.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

#include "platform/clipboard.h"
#include "platform/desktop_registry.h"
#include "platform/text_codec.h"

namespace quillet::platform {
namespace {

// Window thread only.
class QtClipboard : public Clipboard {
  public:
    bool set_text(const std::string& text, Sensitivity sensitivity) override {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return false;
        QString content = QString::fromStdU16String(gbk_to_utf16(text));
        auto* data = new QMimeData;
        data->setText(content);
        if (sensitivity == Sensitivity::kSecret) data->setData("x-kde-passwordManagerHint", "secret");
        QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
        if (sensitivity == Sensitivity::kSecret) {
            secret_ = content;
            holds_secret_ = true;
            expiry_timer()->start(lifetime_ms_);
        } else {
            forget_secret();
        }
        return true;
    }

    void clear_secret() override {
        if (holds_secret()) QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        forget_secret();
    }

    bool holds_secret() override {
        if (!holds_secret_ || QCoreApplication::instance() == nullptr) return false;
        QClipboard* system = QGuiApplication::clipboard();
        return system->ownsClipboard() && system->text() == secret_;
    }

    void set_secret_lifetime_ms(int milliseconds) override { lifetime_ms_ = milliseconds; }

  private:
    QTimer* expiry_timer() {
        if (!timer_) {
            QCoreApplication* application = QCoreApplication::instance();
            timer_ = new QTimer(application);
            timer_->setSingleShot(true);
            QObject::connect(timer_, &QTimer::timeout, timer_, [this] { clear_secret(); });
            QObject::connect(application, &QCoreApplication::aboutToQuit, timer_, [this] { clear_secret(); });
        }
        return timer_;
    }

    void forget_secret() {
        if (timer_) timer_->stop();
        secret_.clear();
        holds_secret_ = false;
    }

    QString secret_;
    bool holds_secret_ = false;
    int lifetime_ms_ = kSecretLifetimeMs;
    QPointer<QTimer> timer_;  // owned by the application object
};

QtClipboard system_clipboard;
const bool registered = (register_system_clipboard(&system_clipboard), true);

}  // namespace
}  // namespace quillet::platform
