// A live window built from its form definition: the controls at their given geometry
// (no layouts), its timers and its menu tree. Events are handed to the front end by
// control name (menu items by caption) until shut_down().
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "ui/forms.h"
#include "ui/toolkit.h"

class QAction;
class QMenu;
class QTimer;

namespace quillet::ui {

class ListControl;

class FormWindow : public QWidget {
    Q_OBJECT
public:
    FormWindow(const FormDef& form, WindowEvents events);

    // Sizes the window to its outer size less the frame and centres it on the screen.
    void place(Size frame);
    // The window itself for "", else the control's widget; nullptr for unknown names.
    QWidget* widget(std::string_view control) const;
    ListControl* list(std::string_view control) const;
    QTimer* timer(std::string_view control) const;
    QAction* menu_action(std::string_view caption) const;
    // The pop-up of an item that has children, else nullptr.
    QMenu* submenu(std::string_view caption) const;
    const FormDef& form() const { return form_; }
    // Stops timers and event delivery; the window is about to be deleted.
    void shut_down();
    bool is_shut_down() const { return !alive_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build_controls();
    void build_menu();
    void fire(std::string_view control, Event event, int a = 0, int b = 0);

    const FormDef& form_;
    WindowEvents events_;
    bool alive_ = true;
    bool placed_by_frame_ = false;
    std::map<std::string, QWidget*, std::less<>> widgets_;
    std::map<std::string, QTimer*, std::less<>> timers_;
    std::map<std::string, QAction*, std::less<>> actions_;
    std::map<std::string, QMenu*, std::less<>> menus_;
};

}  // namespace quillet::ui
