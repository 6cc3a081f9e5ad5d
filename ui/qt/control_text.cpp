#include "ui/qt/control_text.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "ui/qt/gbk_text.h"

namespace quillet::ui {
namespace {

// The program's texts separate lines with CR LF; the toolkit with LF alone.
QString to_lines(std::string_view gbk) {
    QString text = to_qt(gbk);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::string from_lines(QString text) {
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return from_qt(text);
}

}  // namespace

std::string control_text(const QWidget* widget) {
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return from_qt(edit->text());
    if (auto* edit = qobject_cast<const QPlainTextEdit*>(widget)) return from_lines(edit->toPlainText());
    if (auto* label = qobject_cast<const QLabel*>(widget)) return from_lines(label->text());
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return from_qt(button->text());
    if (auto* box = qobject_cast<const QGroupBox*>(widget)) return from_qt(box->title());
    if (widget && widget->isWindow()) return from_qt(widget->windowTitle());
    return {};
}

void set_control_text(QWidget* widget, std::string_view gbk) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(to_qt(gbk));
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
        edit->setPlainText(to_lines(gbk));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(to_lines(gbk));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(to_qt(gbk));
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        box->setTitle(to_qt(gbk));
    } else if (widget && widget->isWindow()) {
        widget->setWindowTitle(to_qt(gbk));
    }
}

}  // namespace quillet::ui
