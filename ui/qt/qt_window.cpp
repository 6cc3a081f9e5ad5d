#include "ui/qt/qt_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QTimer>

#include "ui/qt/control_text.h"
#include "ui/qt/form_window.h"
#include "ui/qt/list_control.h"

namespace quillet::ui {
namespace {

// Owns its FormWindow; the controls, lists and menus are reached by name through it.
class QtWindow final : public ToolkitWindow {
  public:
    QtWindow(const FormDef& form, WindowEvents events) : window_(new FormWindow(form, std::move(events))) {}
    ~QtWindow() override { delete window_; }
    QtWindow(const QtWindow&) = delete;
    QtWindow& operator=(const QtWindow&) = delete;

    const FormDef& form() const override { return window_->form(); }
    void show_window() override { window_->show(); }
    void bring_to_front() override {
        window_->raise();
        window_->activateWindow();
    }
    void shut_down() override {
        window_->shut_down();
        window_->hide();
    }

    std::string text(std::string_view control) const override {
        QWidget* w = window_->widget(control);
        return w ? control_text(w) : std::string();
    }
    bool text_fits_gbk(std::string_view control) const override {
        QWidget* w = window_->widget(control);
        return !w || control_text_fits_gbk(w);
    }
    void set_text(std::string_view control, std::string_view text) override {
        if (QWidget* w = window_->widget(control)) set_control_text(w, text);
    }
    void set_enabled(std::string_view control, bool enabled) override {
        if (QWidget* w = window_->widget(control)) w->setEnabled(enabled);
    }
    bool is_enabled(std::string_view control) const override {
        QWidget* w = window_->widget(control);
        return w && w->isEnabled();
    }
    void set_visible(std::string_view control, bool visible) override {
        if (QWidget* w = window_->widget(control)) w->setVisible(visible);
    }
    // The visible flag itself: a control of a window not yet shown still counts as visible.
    bool is_visible(std::string_view control) const override {
        QWidget* w = window_->widget(control);
        return w && !w->isHidden();
    }
    bool is_checked(std::string_view control) const override {
        auto* button = qobject_cast<QAbstractButton*>(window_->widget(control));
        return button && button->isChecked();
    }
    void set_checked(std::string_view control, bool checked) override {
        if (auto* button = qobject_cast<QAbstractButton*>(window_->widget(control))) button->setChecked(checked);
    }
    void set_timer_interval(std::string_view control, int milliseconds) override {
        QTimer* timer = window_->timer(control);
        if (!timer) return;
        if (milliseconds > 0) {
            timer->start(milliseconds);
        } else {
            timer->stop();
        }
    }

    void list_clear(std::string_view control) override {
        if (ListControl* list = window_->list(control)) list->clear();
    }
    int list_append_row(std::string_view control) override {
        ListControl* list = window_->list(control);
        return list ? list->append_row() : -1;
    }
    void list_append_rows(std::string_view control, const std::vector<std::vector<std::string>>& rows) override {
        if (ListControl* list = window_->list(control)) list->append_rows(rows);
    }
    void list_set_cell(std::string_view control, int row, int column, std::string_view text) override {
        if (ListControl* list = window_->list(control)) list->set_cell(row, column, text);
    }
    std::string list_cell(std::string_view control, int row, int column) const override {
        ListControl* list = window_->list(control);
        return list ? list->cell(row, column) : std::string();
    }
    void list_set_cell_data(std::string_view control, int row, int column, std::string_view data) override {
        if (ListControl* list = window_->list(control)) list->set_cell_data(row, column, data);
    }
    std::string list_cell_data(std::string_view control, int row, int column) const override {
        ListControl* list = window_->list(control);
        return list ? list->cell_data(row, column) : std::string();
    }
    int list_row_count(std::string_view control) const override {
        ListControl* list = window_->list(control);
        return list ? list->topLevelItemCount() : 0;
    }
    int list_selected_row(std::string_view control) const override {
        ListControl* list = window_->list(control);
        return list ? list->selected_row() : -1;
    }
    void list_select_row(std::string_view control, int row) override {
        if (ListControl* list = window_->list(control)) list->select_row(row);
    }

    void set_menu_item_enabled(std::string_view item, bool enabled) override {
        if (QAction* action = window_->menu_action(item)) action->setEnabled(enabled);
    }
    bool is_menu_item_enabled(std::string_view item) const override {
        QAction* action = window_->menu_action(item);
        return action && action->isEnabled();
    }
    void popup_menu(std::string_view menu, Point screen) override {
        if (QMenu* popup = window_->submenu(menu)) popup->exec(QPoint(screen.x, screen.y));
    }

  private:
    FormWindow* window_;  // a top-level widget: no parent frees it
};

}  // namespace

std::unique_ptr<ToolkitWindow> make_qt_window(const FormDef& form, WindowEvents events) {
    return std::make_unique<QtWindow>(form, std::move(events));
}

}  // namespace quillet::ui
