// The report-style list: a flat QTreeWidget whose cells hold a shown text and a hidden
// data text. Columns of width 0 are hidden sections; their cells keep their texts.
#pragma once

#include <QTreeWidget>
#include <string>
#include <string_view>
#include <vector>

#include "ui/forms.h"

namespace quillet::ui {

class ListControl : public QTreeWidget {
    Q_OBJECT
public:
    ListControl(const ListProps& props, QWidget* parent);

    void append_rows(const std::vector<std::vector<std::string>>& rows);
    int append_row();
    void set_cell(int row, int column, std::string_view text);
    std::string cell(int row, int column) const;
    void set_cell_data(int row, int column, std::string_view data);
    std::string cell_data(int row, int column) const;
    int selected_row() const;
    void select_row(int row);

signals:
    // Positions are in the list's own coordinates.
    void mouse_moved(int x, int y);
    void button_pressed(Qt::MouseButton button, int x, int y);
    void list_clicked();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPoint to_list(const QPoint& viewport_pos) const;
};

}  // namespace quillet::ui
