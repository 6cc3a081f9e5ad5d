// The text a control shows: edit box content, label text (CR LF line breaks), caption of
// a button, check box or group box, or a window's caption.
#pragma once

#include <QWidget>
#include <string>
#include <string_view>

namespace quillet::ui {

std::string control_text(const QWidget* widget);
// False when control_text() had to put "?" for characters GBK cannot hold.
bool control_text_fits_gbk(const QWidget* widget);
void set_control_text(QWidget* widget, std::string_view gbk);

}  // namespace quillet::ui
