#pragma once

#include <QString>

#include <vector>

class QStandardItemModel;
class QTreeView;
class QWidget;

namespace tidewell {

class ErrorTrap;

// The windows were designed in twips: 1440 to the inch.
int twipsWide(const QWidget *widget, int twips);
int twipsHigh(const QWidget *widget, int twips);

// A list in report form as both windows show it: whole rows, one selected
// at a time, nothing edited in place. Its model is a child of the list.
QTreeView *makeReportList(QWidget *parent, QStandardItemModel *&items);

// One column of a list in report form: its header and its width in twips.
struct ReportColumn
{
    QString header;
    int widthTwips;
};

// Adds the columns one statement each, headers first (numbered from
// firstLine in steps of two), then the widths, as the windows' load handlers
// number them.
void addReportColumns(ErrorTrap &onError, QTreeView &list, QStandardItemModel &items,
                      const std::vector<ReportColumn> &columns, int firstLine);

// Widens a column, never narrows it, so that a cell holding `widestText`
// shows it whole.
void widenColumnFor(QTreeView &list, int column, const QString &widestText);

} // namespace tidewell
