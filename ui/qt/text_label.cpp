#include "ui/qt/text_label.h"

#include <QPainter>

namespace quillet::ui {

TextLabel::TextLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QFontMetrics metrics(font());
    const int step = font().pixelSize() > 0 ? font().pixelSize() : metrics.height();
    int top = 0;
    for (const QString& line : text().split(QLatin1Char('\n'))) {
        painter.drawText(QRect(0, top, width(), metrics.height()), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         line);
        top += step;
    }
}

}  // namespace quillet::ui
