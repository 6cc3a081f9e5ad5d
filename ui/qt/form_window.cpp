#include "ui/qt/form_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <vector>

#include "ui/qt/control_factory.h"
#include "ui/qt/gbk_text.h"
#include "ui/qt/list_control.h"
#include "ui/qt/mouse_event_filter.h"

namespace quillet::ui {
namespace {

// The forms are laid out for a 12-pixel font with half-width Latin letters (a CJK
// character 12 pixels wide, a space 6): the label lines and their runs of spaces line up
// with the edit boxes only with those metrics. The monospaced Zen Hei has them too.
constexpr int kFontPixels = 12;

QFont form_font() {
    QFont font;
    // Looked up among the installed families: font configurations alias SimSun to
    // proportional faces, and hasFamily() would follow the alias.
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : {QStringLiteral("SimSun"), QString::fromUtf16(u"宋体"), QStringLiteral("NSimSun"),
                                  QStringLiteral("WenQuanYi Zen Hei Mono")}) {
        if (installed.contains(family)) {
            font.setFamily(family);
            break;
        }
    }
    font.setPixelSize(kFontPixels);
    return font;
}

// Group-box captions sit on the frame line, so that controls placed 16 pixels below the
// box's top are inside the frame and clear of the caption. Every password character is
// "*". Both rules live here, on the window: a child's own style sheet under a window
// that has one does not reach the password character.
const char16_t kFormStyle[] =
    u"QGroupBox { border: 1px solid #a0a0a0; margin-top: 6px; }"
    u"QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 7px; padding: 0px 1px; }"
    u"QLineEdit { lineedit-password-character: 42; }"
    u"QLineEdit[thin_border=\"true\"] { border: 1px solid #6e6e6e; padding: 0px; }";

}  // namespace

FormWindow::FormWindow(const FormDef& form, WindowEvents events)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      form_(form),
      events_(std::move(events)) {
    setObjectName(QString::fromLatin1(form.name.data(), static_cast<qsizetype>(form.name.size())));
    setWindowTitle(to_qt(form.caption));
    setFont(form_font());
    setStyleSheet(QString::fromUtf16(kFormStyle));
    setMouseTracking(true);
    build_controls();
    build_menu();
    place(kNominalFrame);
}

void FormWindow::place(Size frame) {
    Size client = client_size(form_, frame);
    setFixedSize(client.width, client.height);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    QSize outer(client.width + frame.width, client.height + frame.height);
    // move() places the frame's top-left corner.
    move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

void FormWindow::build_controls() {
    auto* filter = new MouseEventFilter(
        [this](const std::string& control, Event event, int x, int y) { fire(control, event, x, y); }, this);
    filter->watch(this, "");
    for (const ControlDef& def : form_.controls) {
        QWidget* parent = def.parent.empty() ? this : widget(def.parent);
        if (def.kind == ControlKind::kTimer) {
            auto* timer = new QTimer(this);
            if (def.interval > 0) timer->start(def.interval);
            connect(timer, &QTimer::timeout, this, [this, name = std::string(def.name)] { fire(name, Event::kTick); });
            timers_.emplace(def.name, timer);
            continue;
        }
        QWidget* widget = create_control_widget(def, parent ? parent : this);
        if (!widget) continue;
        // Set on each control: the style sheet would otherwise hand some kinds the toolkit's font.
        widget->setFont(font());
        widgets_.emplace(def.name, widget);
        const std::string name(def.name);
        if (auto* list = qobject_cast<ListControl*>(widget)) {
            list->header()->setFont(font());
            connect(list, &ListControl::mouse_moved, this, [this, name](int x, int y) {
                fire(name, Event::kMouseMoved, x, y);
            });
            connect(list, &ListControl::button_pressed, this, [this, name](Qt::MouseButton button, int x, int y) {
                if (button == Qt::LeftButton) fire(name, Event::kLeftButtonPressed, x, y);
                if (button == Qt::RightButton) fire(name, Event::kRightButtonPressed, x, y);
            });
            connect(list, &ListControl::list_clicked, this, [this, name] { fire(name, Event::kClicked); });
            continue;
        }
        filter->watch(widget, name);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            connect(button, &QPushButton::clicked, this, [this, name] { fire(name, Event::kClicked); });
        }
    }
}

// Items come in tree order with their level; an item followed by a deeper one opens a
// sub-menu. Top-level items are pop-ups of their own: no form shows a menu bar.
void FormWindow::build_menu() {
    std::vector<QMenu*> open_menus;  // open_menus[level] takes the children of that level
    for (std::size_t i = 0; i < form_.menu.size(); ++i) {
        const MenuItemDef& item = form_.menu[i];
        const bool has_children = i + 1 < form_.menu.size() && form_.menu[i + 1].level > item.level;
        open_menus.resize(static_cast<std::size_t>(item.level));
        QAction* action;
        if (item.level == 0 || has_children) {
            auto* menu = item.level == 0 ? new QMenu(to_qt(item.caption), this)
                                         : open_menus.back()->addMenu(to_qt(item.caption));
            menu->setFont(font());  // a pop-up is a window of its own and inherits nothing
            menus_.emplace(item.caption, menu);
            open_menus.push_back(menu);
            action = menu->menuAction();
        } else {
            action = open_menus.back()->addAction(to_qt(item.caption));
            connect(action, &QAction::triggered, this,
                    [this, caption = std::string(item.caption)] { fire(caption, Event::kChosen); });
        }
        action->setEnabled(!item.disabled);
        action->setVisible(item.visible);
        if (item.checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        actions_.emplace(item.caption, action);
    }
}

QWidget* FormWindow::widget(std::string_view control) const {
    if (control.empty()) return const_cast<FormWindow*>(this);
    auto it = widgets_.find(control);
    return it == widgets_.end() ? nullptr : it->second;
}

ListControl* FormWindow::list(std::string_view control) const { return qobject_cast<ListControl*>(widget(control)); }

QTimer* FormWindow::timer(std::string_view control) const {
    auto it = timers_.find(control);
    return it == timers_.end() ? nullptr : it->second;
}

QAction* FormWindow::menu_action(std::string_view caption) const {
    auto it = actions_.find(caption);
    return it == actions_.end() ? nullptr : it->second;
}

QMenu* FormWindow::submenu(std::string_view caption) const {
    auto it = menus_.find(caption);
    return it == menus_.end() ? nullptr : it->second;
}

void FormWindow::shut_down() {
    alive_ = false;
    for (auto& [name, timer] : timers_) timer->stop();
}

void FormWindow::fire(std::string_view control, Event event, int a, int b) {
    if (alive_) events_.raise(control, event, a, b);
}

void FormWindow::closeEvent(QCloseEvent* event) {
    // The layer destroys the window itself, so that its destroyed event runs first.
    event->ignore();
    if (alive_) events_.close_box();
}

// Window managers report their frame only once the window is mapped; the outer size
// then decides the client size (never smaller than the controls need).
void FormWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (placed_by_frame_) return;
    placed_by_frame_ = true;
    QTimer::singleShot(0, this, [this] {
        QSize frame = frameGeometry().size() - geometry().size();
        if (frame.width() > 0 || frame.height() > 0) place(Size{frame.width(), frame.height()});
    });
}

}  // namespace quillet::ui
