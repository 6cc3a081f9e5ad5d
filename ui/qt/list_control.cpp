#include "ui/qt/list_control.h"

#include <QHeaderView>
#include <QMouseEvent>

#include "ui/qt/gbk_text.h"

namespace quillet::ui {
namespace {

constexpr int kDataRole = Qt::UserRole;

}  // namespace

ListControl::ListControl(const ListProps& props, QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);  // keeps appending thousands of rows cheap
    setSortingEnabled(false);
    setAllColumnsShowFocus(props.full_row_select);
    setSelectionBehavior(props.full_row_select ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setSelectionMode(props.single_select ? QAbstractItemView::SingleSelection : QAbstractItemView::ExtendedSelection);
    if (props.border == Border::kThinLine) {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    }
    setColumnCount(static_cast<int>(props.columns.size()));
    QStringList titles;
    for (const ListColumn& column : props.columns) titles << to_qt(column.title);
    setHeaderLabels(titles);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    for (int i = 0; i < static_cast<int>(props.columns.size()); ++i) {
        // Qt clamps widths to the minimum section size, so width 0 becomes a hidden section.
        if (props.columns[i].width == 0) {
            header()->setSectionHidden(i, true);
        } else {
            setColumnWidth(i, props.columns[i].width);
        }
    }
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

void ListControl::append_rows(const std::vector<std::vector<std::string>>& rows) {
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const auto& row : rows) {
        auto* item = new QTreeWidgetItem();
        int columns = std::min(static_cast<int>(row.size()), columnCount());
        for (int c = 0; c < columns; ++c) item->setText(c, to_qt(row[c]));
        items.append(item);
    }
    setUpdatesEnabled(false);
    addTopLevelItems(items);
    setUpdatesEnabled(true);
}

int ListControl::append_row() {
    addTopLevelItem(new QTreeWidgetItem());
    return topLevelItemCount() - 1;
}

void ListControl::set_cell(int row, int column, std::string_view text) {
    if (QTreeWidgetItem* item = topLevelItem(row); item && column >= 0 && column < columnCount()) {
        item->setText(column, to_qt(text));
    }
}

std::string ListControl::cell(int row, int column) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? from_qt(item->text(column)) : std::string();
}

void ListControl::set_cell_data(int row, int column, std::string_view data) {
    if (QTreeWidgetItem* item = topLevelItem(row); item && column >= 0 && column < columnCount()) {
        item->setData(column, kDataRole, to_qt(data));
    }
}

std::string ListControl::cell_data(int row, int column) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? from_qt(item->data(column, kDataRole).toString()) : std::string();
}

int ListControl::selected_row() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first());
}

void ListControl::select_row(int row) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        setCurrentItem(item);
    } else {
        clearSelection();
    }
}

QPoint ListControl::to_list(const QPoint& viewport_pos) const { return viewport()->mapTo(this, viewport_pos); }

void ListControl::mouseMoveEvent(QMouseEvent* event) {
    QTreeWidget::mouseMoveEvent(event);
    QPoint pos = to_list(event->position().toPoint());
    emit mouse_moved(pos.x(), pos.y());
}

// The press is handled first so that handlers see the selection the click made, as the
// pop-up menu step reads the selected row.
void ListControl::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    QPoint pos = to_list(event->position().toPoint());
    emit button_pressed(event->button(), pos.x(), pos.y());
}

void ListControl::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) emit list_clicked();
}

}  // namespace quillet::ui
