#pragma once

#include <QString>

namespace tidewell {

// A text value made safe to stand between single quotes in a statement: each
// quote inside it doubled, so "Rock 'n' Roll" is stored and found as typed.
QString SqlText(const QString &value);

// The values of one feed as the editor's fields hold them.
struct FeedFields
{
    QString name;
    QString minute; // as typed; stands unquoted, so the database reads a number
    QString filename;
    QString folder;
    QString url;
    bool active = false;
};

// Every statement the program issues against the feed table, in one place.
namespace statements {
// 1: point every feed at the desktop after a start from the blank template.
QString pointFoldersAtDesktop(const QString &desktopPath);
// 2: the main list, by download minute.
QString feedsByMinute();
// 3: one feed, for its download, by its row: the schedule knows a feed by its
// row, so that two feeds of one name each keep their own.
QString feedAtRow(qint64 row);
// 4: the editor's list, by name.
QString feedsByName();
// 5: the name check of a new feed; the name is trimmed of blanks here.
QString feedsWithName(const QString &name);
// 6: the minute check.
QString feedsWithMinute(const QString &minute);
// 7: a new feed.
QString insertFeed(const FeedFields &feed);
// 8: a changed feed, found by the name it was loaded with.
QString updateFeed(const FeedFields &feed, const QString &oldName);
// 9: removing a feed.
QString deleteFeed(const QString &name);
// 2 with each feed's row, in the column "row", for the lists the schedule
// reads.
QString feedRowsByMinute();
} // namespace statements

// Blanks (spaces only) removed from both ends.
QString TrimBlanks(const QString &text);

} // namespace tidewell
