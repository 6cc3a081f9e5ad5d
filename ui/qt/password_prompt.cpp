#include "ui/qt/password_prompt.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/qt/gbk_text.h"

namespace quillet::ui {
namespace {

constexpr int kFirstTries = 3;

QFont prompt_font(const QFont& fallback) {
    for (const QString& family : {QString::fromUtf16(u"宋体"), QStringLiteral("SimSun")}) {
        if (QFontDatabase::families().contains(family)) return QFont(family, 9);  // not an alias
    }
    return fallback;
}

}  // namespace

PasswordPrompt::PasswordPrompt(int tries_left) : edit_(new QLineEdit(this)) {
    setWindowTitle(QString::fromUtf16(u"密码输入"));
    setFont(prompt_font(font()));

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    auto* prompt = new QLabel(QString::fromUtf16(u"请输入数据库访问密码："), this);
    auto* retry = new QLabel(this);
    if (tries_left < kFirstTries) {
        retry->setText(QString::fromUtf16(u"密码错误，您还有 %1 次重新输入的机会。").arg(tries_left));
    }
    edit_->setEchoMode(QLineEdit::Password);
    edit_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    auto* ok = new QPushButton(QString::fromUtf16(u"确认(&O)"), this);
    auto* cancel = new QPushButton(QString::fromUtf16(u"取消(&C)"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* texts = new QVBoxLayout;
    texts->addWidget(prompt);
    texts->addWidget(retry);
    texts->addWidget(edit_);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

PasswordPrompt::~PasswordPrompt() {
    // Overwrite, character for character, before the widget frees its buffer.
    edit_->setText(QString(edit_->text().size(), u' '));
}

std::string PasswordPrompt::password() const { return from_qt(edit_->text()); }

bool ask_password(int tries_left, std::string* password) {
    PasswordPrompt prompt(tries_left);
    if (prompt.exec() != QDialog::Accepted) return false;
    if (password) *password = prompt.password();
    return true;
}

}  // namespace quillet::ui
