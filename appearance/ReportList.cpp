#include "ReportList.h"

#include "ErrorTrap.h"

#include <algorithm>

#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeView>

namespace tidewell {

int twipsWide(const QWidget *widget, int twips)
{
    return twips * widget->logicalDpiX() / 1440;
}

int twipsHigh(const QWidget *widget, int twips)
{
    return twips * widget->logicalDpiY() / 1440;
}

QTreeView *makeReportList(QWidget *parent, QStandardItemModel *&items)
{
    auto *list = new QTreeView(parent);
    items = new QStandardItemModel(0, 0, list);
    list->setModel(items);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    return list;
}

void addReportColumns(ErrorTrap &onError, QTreeView &list, QStandardItemModel &items,
                      const std::vector<ReportColumn> &columns, int firstLine)
{
    const int count = static_cast<int>(columns.size());
    for (int column = 0; column < count; ++column) {
        onError(firstLine + 2 * column, [&] {
            items.setColumnCount(column + 1);
            items.setHeaderData(column, Qt::Horizontal, columns[static_cast<std::size_t>(column)].header);
        });
    }
    const int firstWidthLine = firstLine + 2 * count;
    for (int column = 0; column < count; ++column) {
        onError(firstWidthLine + 2 * column, [&] {
            list.setColumnWidth(column, twipsWide(&list, columns[static_cast<std::size_t>(column)].widthTwips));
        });
    }
}

void widenColumnFor(QTreeView &list, int column, const QString &widestText)
{
    // Measured as the list's own cells measure their text.
    QStyleOptionViewItem cell;
    cell.initFrom(&list);
    cell.features = QStyleOptionViewItem::HasDisplay;
    cell.text = widestText;
    const int needed = list.style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), &list).width();
    list.setColumnWidth(column, std::max(list.columnWidth(column), needed));
}

} // namespace tidewell
