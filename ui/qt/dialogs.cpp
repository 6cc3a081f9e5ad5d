#include "ui/qt/dialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QToolTip>

#include "ui/qt/gbk_text.h"

namespace quillet::ui {
namespace {

const QString kInfoCaption = QString::fromUtf16(u"信息：");

}  // namespace

void show_message(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, kInfoCaption, to_qt(text), QMessageBox::Ok);
    // A message may carry what the user must copy down, such as a recovery code.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.exec();
}

bool ask_question(std::string_view text) {
    QMessageBox box(QMessageBox::Question, kInfoCaption, to_qt(text), QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool ask_input(std::string_view caption, std::string_view prompt, std::string_view initial, std::string* entered) {
    QInputDialog dialog;
    dialog.setWindowTitle(to_qt(caption));
    dialog.setLabelText(to_qt(prompt));
    dialog.setTextValue(to_qt(initial));
    dialog.setOkButtonText(QString::fromUtf16(u"确认输入(&O)"));
    dialog.setCancelButtonText(QString::fromUtf16(u"取消(&C)"));
    if (dialog.exec() != QDialog::Accepted) return false;
    if (entered) *entered = from_qt(dialog.textValue());
    return true;
}

void show_balloon(std::string_view text, Point screen) { QToolTip::showText(QPoint(screen.x, screen.y), to_qt(text)); }

}  // namespace quillet::ui
