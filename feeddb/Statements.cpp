#include "Statements.h"

namespace tidewell {

QString SqlText(const QString &value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return quoted;
}

QString TrimBlanks(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

namespace {
QString trueOrFalse(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}
} // namespace

namespace statements {

QString pointFoldersAtDesktop(const QString &desktopPath)
{
    return QStringLiteral("update [rss] set [folder]='") + SqlText(desktopPath) + QStringLiteral("'");
}

QString feedsByMinute()
{
    return QStringLiteral("select * from [rss] order by [minute]");
}

QString feedAtRow(qint64 row)
{
    return QStringLiteral("select * from [rss] where rowid=") + QString::number(row);
}

QString feedsByName()
{
    return QStringLiteral("select * from [rss] order by [name]");
}

QString feedsWithName(const QString &name)
{
    return QStringLiteral("select * from [rss] where name='") + SqlText(TrimBlanks(name)) + QStringLiteral("'");
}

QString feedsWithMinute(const QString &minute)
{
    return QStringLiteral("select * from [rss] where [minute]=") + minute;
}

QString insertFeed(const FeedFields &feed)
{
    return QStringLiteral("insert into [rss] ([name],[minute],[filename],[folder],[URL],[Active]) values ('")
        + SqlText(feed.name) + QStringLiteral("',") + feed.minute + QStringLiteral(",'") + SqlText(feed.filename)
        + QStringLiteral("','") + SqlText(feed.folder) + QStringLiteral("','") + SqlText(feed.url)
        + QStringLiteral("',") + trueOrFalse(feed.active) + QStringLiteral(")");
}

QString updateFeed(const FeedFields &feed, const QString &oldName)
{
    return QStringLiteral("update [rss] set [name]='") + SqlText(feed.name) + QStringLiteral("',[minute]=")
        + feed.minute + QStringLiteral(",[filename]='") + SqlText(feed.filename) + QStringLiteral("',[folder]='")
        + SqlText(feed.folder) + QStringLiteral("',[URL]='") + SqlText(feed.url) + QStringLiteral("',[Active]=")
        + trueOrFalse(feed.active) + QStringLiteral(" where [name]='") + SqlText(oldName) + QStringLiteral("'");
}

QString deleteFeed(const QString &name)
{
    return QStringLiteral("delete from [rss] where name='") + SqlText(name) + QStringLiteral("'");
}

QString feedRowsByMinute()
{
    return QStringLiteral("select rowid as [row], * from [rss] order by [minute]");
}

} // namespace statements
} // namespace tidewell
