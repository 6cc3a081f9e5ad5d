// A static text label: lines drawn top-left, one line every font-size pixels. The forms
// place edit boxes beside label lines on that grid (a 12-pixel font, a 12-pixel line),
// which the toolkit's own, taller line spacing would drift away from.
#pragma once

#include <QLabel>

namespace quillet::ui {

class TextLabel : public QLabel {
    Q_OBJECT
public:
    explicit TextLabel(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quillet::ui
