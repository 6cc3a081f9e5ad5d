#include "ui/qt/control_factory.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "ui/qt/control_text.h"
#include "ui/qt/gbk_text.h"
#include "ui/qt/list_control.h"
#include "ui/qt/text_label.h"

namespace quillet::ui {
namespace {

QWidget* create_edit_box(const EditProps& props, QWidget* parent) {
    if (props.multi_line) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setReadOnly(props.read_only);
        if (props.border == Border::kThinLine) {
            edit->setFrameStyle(QFrame::Box | QFrame::Plain);
            edit->setLineWidth(1);
        }
        return edit;
    }
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(props.read_only);
    // Drawn by the window's style sheet (form_window.cpp).
    edit->setProperty("thin_border", props.border == Border::kThinLine);
    if (props.password) edit->setEchoMode(QLineEdit::Password);
    if (props.centred) edit->setAlignment(Qt::AlignCenter);
    if (props.max_length > 0) edit->setMaxLength(props.max_length);
    if (props.digits_only) {
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9-]*")), edit));
    }
    edit->setTextMargins(0, 0, 0, 0);
    return edit;
}

QWidget* create_label(const ControlDef& def, QWidget* parent) {
    auto* label = new TextLabel(parent);
    if (def.kind == ControlKind::kTransparentLabel) {
        // Drawn over whatever lies beneath: no background of its own, only coloured text.
        label->setAutoFillBackground(false);
        label->setAttribute(Qt::WA_TranslucentBackground);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor::fromRgb(def.text_color));
        label->setPalette(palette);
        label->setCursor(Qt::PointingHandCursor);
    }
    return label;
}

QWidget* create_widget(const ControlDef& def, QWidget* parent) {
    switch (def.kind) {
        case ControlKind::kLabel:
        case ControlKind::kTransparentLabel:
            return create_label(def, parent);
        case ControlKind::kButton:
            return new QPushButton(parent);
        case ControlKind::kGroupBox: {
            auto* box = new QGroupBox(parent);
            box->setMouseTracking(true);
            return box;
        }
        case ControlKind::kEditBox:
            return create_edit_box(def.edit, parent);
        case ControlKind::kCheckBox: {
            auto* box = new QCheckBox(parent);
            box->setChecked(def.checked);
            return box;
        }
        case ControlKind::kList:
            return new ListControl(def.list, parent);
        case ControlKind::kTimer:
        case ControlKind::kBalloonTip:
            return nullptr;
    }
    return nullptr;
}

}  // namespace

QWidget* create_control_widget(const ControlDef& def, QWidget* parent) {
    QWidget* widget = create_widget(def, parent);
    if (!widget) return nullptr;
    widget->setObjectName(to_qt(def.name));
    widget->setGeometry(def.rect.left, def.rect.top, def.rect.width, def.rect.height);
    if (!def.caption.empty()) set_control_text(widget, def.caption);
    widget->setFocusPolicy(def.tab_stop ? Qt::StrongFocus : Qt::NoFocus);
    widget->setEnabled(!def.disabled);
    widget->setVisible(def.visible);
    return widget;
}

}  // namespace quillet::ui
