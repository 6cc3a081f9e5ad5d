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

QString with_program_lines(QString text) {
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text;
}

// The toolkit's text of the control, with the program's line breaks.
QString shown_text(const QWidget* widget) {
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (auto* edit = qobject_cast<const QPlainTextEdit*>(widget)) return with_program_lines(edit->toPlainText());
    if (auto* label = qobject_cast<const QLabel*>(widget)) return with_program_lines(label->text());
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (auto* box = qobject_cast<const QGroupBox*>(widget)) return box->title();
    if (widget && widget->isWindow()) return widget->windowTitle();
    return {};
}

}  // namespace

std::string control_text(const QWidget* widget) { return from_qt(shown_text(widget)); }

bool control_text_fits_gbk(const QWidget* widget) {
    std::string ignored;
    return platform::utf16_to_gbk_exactly(shown_text(widget).toStdU16String(), &ignored);
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
