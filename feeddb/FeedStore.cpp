#include "FeedStore.h"

#include <sqlite3.h>

namespace tidewell {
namespace {

// The minute as typed is a number, whole or not, and goes to the table as one.
void bindMinute(sqlite::Statement &statement, int index, const QString &minute)
{
    const QString number = minute.trimmed();
    bool whole = false;
    bool real = false;
    const qint64 wholeMinute = number.toLongLong(&whole);
    const double realMinute = number.toDouble(&real);
    if (!whole && !real)
        throw RuntimeError::typeMismatch();
    if (whole)
        statement.bind(index, wholeMinute);
    else
        statement.bind(index, realMinute);
}

void bindFeed(sqlite::Statement &statement, const FeedFields &feed)
{
    statement.bind(1, feed.name);
    bindMinute(statement, 2, feed.minute);
    statement.bind(3, feed.filename).bind(4, feed.folder).bind(5, feed.url).bind(6, qint64{feed.active});
}

} // namespace

void FeedStore::open(const QString &path)
{
    sqlite::Database db;
    const bool opened = db.open(path);
    // Another process (the window, a command, the headless scheduler) may
    // hold the file for a moment; a statement waits for it rather than fail.
    if (db)
        sqlite3_busy_timeout(db.get(), lockWaitMilliseconds);
    // Opening is lazy; reading the schema proves the file is a database now,
    // when the failure can be told as a failed open.
    if (!opened || !db.execute("select count(*) from sqlite_master"))
        throw RuntimeError(errnum::ProviderFailure,
                           QStringLiteral("Could not open '%1': %2").arg(path, db.errorMessage()));
    m_db = std::move(db);
}

void FeedStore::close()
{
    m_db.close();
}

RuntimeError FeedStore::closedError()
{
    return {3704, QStringLiteral("Operation is not allowed when the object is closed.")};
}

RuntimeError FeedStore::refused() const
{
    return {errnum::ProviderFailure, m_db.errorMessage()};
}

sqlite::Statement FeedStore::prepare(const char *sql) const
{
    if (!m_db)
        throw closedError();
    sqlite::Statement statement(m_db.get(), sql);
    if (statement.failed())
        throw refused();
    return statement;
}

void FeedStore::run(sqlite::Statement &statement) const
{
    if (!statement.run())
        throw refused();
}

void FeedStore::execute(const char *sql) const
{
    sqlite::Statement statement = prepare(sql);
    run(statement);
}

std::vector<FeedRecord> FeedStore::records(sqlite::Statement &statement) const
{
    std::vector<FeedRecord> read;
    while (statement.next()) {
        read.push_back({statement.number(0), statement.value(1), statement.value(2), statement.value(3),
                        statement.value(4), statement.value(5), statement.value(6)});
    }
    if (statement.failed())
        throw refused();
    return read;
}

bool FeedStore::anyRow(sqlite::Statement &statement) const
{
    const bool found = statement.next();
    if (statement.failed())
        throw refused();
    return found;
}

sqlite::Statement FeedStore::selectFeeds(const char *condition) const
{
    // Every whole feed is read in the order of FeedRecord's fields.
    return prepare(QByteArray("select rowid, [name], [minute], [filename], [folder], [URL], [Active] from [rss] ")
                       .append(condition)
                       .constData());
}

std::vector<FeedRecord> FeedStore::byMinute() const
{
    sqlite::Statement statement = selectFeeds("order by [minute]");
    return records(statement);
}

std::vector<FeedRecord> FeedStore::byName() const
{
    sqlite::Statement statement = selectFeeds("order by [name]");
    return records(statement);
}

std::optional<FeedRecord> FeedStore::find(qint64 row) const
{
    sqlite::Statement statement = selectFeeds("where rowid = ?");
    statement.bind(1, row);
    std::vector<FeedRecord> found = records(statement);
    if (found.empty())
        return std::nullopt;
    return found.front();
}

bool FeedStore::nameTaken(const QString &name, const QString &ownName) const
{
    // The table compares names without regard to letter case; the feed's
    // own stored name is told apart exactly.
    sqlite::Statement statement =
        prepare("select 1 from [rss] where [name] = ?1 and (?2 = '' or [name] <> ?2 collate binary)");
    statement.bind(1, TrimBlanks(name)).bind(2, ownName);
    return anyRow(statement);
}

bool FeedStore::minuteTaken(const QString &minute) const
{
    sqlite::Statement statement = prepare("select 1 from [rss] where [minute] = ?");
    bindMinute(statement, 1, minute);
    return anyRow(statement);
}

void FeedStore::insert(const FeedFields &feed)
{
    sqlite::Statement statement =
        prepare("insert into [rss] ([name], [minute], [filename], [folder], [URL], [Active]) values (?, ?, ?, ?, ?, ?)");
    bindFeed(statement, feed);
    run(statement);
}

void FeedStore::update(const QString &name, const FeedFields &feed)
{
    sqlite::Statement statement = prepare("update [rss] set [name] = ?, [minute] = ?, [filename] = ?, [folder] = ?, "
                                          "[URL] = ?, [Active] = ? where [name] = ?");
    bindFeed(statement, feed);
    statement.bind(7, name);
    run(statement);
}

void FeedStore::remove(const QString &name)
{
    sqlite::Statement statement = prepare("delete from [rss] where [name] = ?");
    statement.bind(1, name);
    run(statement);
}

void FeedStore::pointFoldersAt(const QString &folder)
{
    sqlite::Statement statement = prepare("update [rss] set [folder] = ?");
    statement.bind(1, folder);
    run(statement);
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

} // namespace tidewell
