// The access-password prompt of the database engine. The typed text is overwritten with
// spaces when the dialog goes away, so that no copy of it stays in the dialog's memory.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace quillet::ui {

class PasswordPrompt : public QDialog {
    Q_OBJECT
public:
    // tries_left < 3 shows the retry line with that number.
    explicit PasswordPrompt(int tries_left);
    ~PasswordPrompt() override;

    std::string password() const;

private:
    QLineEdit* edit_;
};

// Shows the prompt; true when confirmed with OK, `password` then holds the text.
bool ask_password(int tries_left, std::string* password);

}  // namespace quillet::ui
