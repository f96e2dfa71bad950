#include "ScheduleStore.h"

#include "PathHelpers.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

namespace tidewell {

namespace {

// One prepared statement, bound and stepped; finalised when it goes.
class Statement
{
public:
    Statement(sqlite3 *db, const char *sql)
    {
        if (db)
            sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool ready() const { return m_statement != nullptr; }

    Statement &bind(int index, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement &bind(int index, const QByteArray &bytes)
    {
        sqlite3_bind_text(m_statement, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement &bind(int index, qint64 number)
    {
        sqlite3_bind_int64(m_statement, index, number);
        return *this;
    }

    // True while there is a row to read.
    bool next() { return m_statement && sqlite3_step(m_statement) == SQLITE_ROW; }
    // True when the statement ran to its end.
    bool run() { return m_statement && sqlite3_step(m_statement) == SQLITE_DONE; }

    QString text(int column) const
    {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column));
    }
    QByteArray bytes(int column) const
    {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        return QByteArray(bytes, sqlite3_column_bytes(m_statement, column));
    }
    qint64 number(int column) const { return sqlite3_column_int64(m_statement, column); }

private:
    sqlite3_stmt *m_statement = nullptr;
};

constexpr const char *schema = R"(
create table if not exists counts (
    name text not null, ordinal integer not null, interval integer not null, started integer not null,
    primary key (name, ordinal));
create table if not exists downloads (
    name text primary key, happened integer not null, succeeded integer not null, report text not null);
drop table if exists episodes;
create table if not exists episode_files (
    name text primary key, url text not null, answered_url text not null, destination text not null,
    etag text not null, last_modified text not null, size integer not null, modified integer not null,
    changed integer not null);
create table if not exists feed_documents (
    name text primary key, url text not null, answered_url text not null, etag text not null,
    last_modified text not null);
)";

} // namespace

void ScheduleStore::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close(db);
}

QString ScheduleStore::defaultPath()
{
    return StateFolder() + QStringLiteral("/schedule.sqlite");
}

ScheduleStore::ScheduleStore(const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        m_error = QStringLiteral("cannot make the folder of %1").arg(path);
        return;
    }
    sqlite3 *db = nullptr;
    const int result = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                       nullptr);
    m_db.reset(db);
    if (result != SQLITE_OK) {
        fail(QStringLiteral("cannot open %1").arg(path));
        m_db.reset();
        return;
    }
    // The window and a command run beside it may both write.
    sqlite3_busy_timeout(db, 5000);
    char *message = nullptr;
    if (sqlite3_exec(db, schema, nullptr, nullptr, &message) != SQLITE_OK) {
        m_error = QStringLiteral("cannot use %1: %2").arg(path, QString::fromUtf8(message));
        sqlite3_free(message);
        m_db.reset();
    }
}

ScheduleStore::~ScheduleStore() = default;

void ScheduleStore::fail(const QString &what) const
{
    m_error = what + QStringLiteral(": ") + QString::fromUtf8(m_db ? sqlite3_errmsg(m_db.get()) : "not open");
}

void ScheduleStore::execute(const char *sql) const
{
    if (m_db && sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QString::fromLatin1(sql));
}

std::vector<ScheduleStore::Count> ScheduleStore::counts() const
{
    std::vector<Count> counts;
    Statement select(m_db.get(), "select name, ordinal, interval, started from counts");
    while (select.next()) {
        counts.push_back({select.text(0), static_cast<int>(select.number(1)),
                          static_cast<qint32>(select.number(2)), select.number(3)});
    }
    return counts;
}

void ScheduleStore::saveCounts(const std::vector<Count> &counts)
{
    if (!m_db)
        return;
    execute("begin immediate");
    execute("delete from counts");
    for (const Count &count : counts)
        saveCount(count);
    execute("commit");
}

void ScheduleStore::saveCount(const Count &count)
{
    Statement insert(m_db.get(), "insert or replace into counts values (?, ?, ?, ?)");
    if (!insert.bind(1, count.name).bind(2, qint64{count.ordinal}).bind(3, qint64{count.intervalSeconds})
             .bind(4, count.startedMs)
             .run())
        fail(QStringLiteral("cannot keep the count of %1").arg(count.name));
}

std::optional<ScheduleStore::LastDownload> ScheduleStore::lastDownload(const QString &feed) const
{
    Statement select(m_db.get(), "select happened, succeeded, report from downloads where name = ?");
    if (!select.bind(1, feed).next())
        return std::nullopt;
    return LastDownload{select.number(0), select.number(1) != 0, select.text(2)};
}

std::map<QString, ScheduleStore::LastDownload> ScheduleStore::lastDownloads() const
{
    std::map<QString, LastDownload> downloads;
    Statement select(m_db.get(), "select name, happened, succeeded, report from downloads");
    while (select.next())
        downloads[select.text(0)] = LastDownload{select.number(1), select.number(2) != 0, select.text(3)};
    return downloads;
}

void ScheduleStore::saveLastDownload(const QString &feed, const LastDownload &download)
{
    Statement insert(m_db.get(), "insert or replace into downloads values (?, ?, ?, ?)");
    if (!insert.bind(1, feed).bind(2, download.whenMs).bind(3, qint64{download.succeeded}).bind(4, download.report)
             .run())
        fail(QStringLiteral("cannot keep the last download of %1").arg(feed));
}

std::optional<ScheduleStore::Episode> ScheduleStore::episode(const QString &feed) const
{
    Statement select(m_db.get(), "select url, answered_url, destination, etag, last_modified, size, modified, "
                                 "changed from episode_files where name = ?");
    if (!select.bind(1, feed).next())
        return std::nullopt;
    return Episode{select.text(0),   select.text(1),   select.text(2),   select.bytes(3),
                   select.bytes(4),  select.number(5), select.number(6), select.number(7)};
}

void ScheduleStore::saveEpisode(const QString &feed, const Episode &episode)
{
    Statement insert(m_db.get(), "insert or replace into episode_files values (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (!insert.bind(1, feed)
             .bind(2, episode.url)
             .bind(3, episode.answeredUrl)
             .bind(4, episode.destination)
             .bind(5, episode.etag)
             .bind(6, episode.lastModified)
             .bind(7, episode.size)
             .bind(8, episode.modifiedMs)
             .bind(9, episode.changedMs)
             .run())
        fail(QStringLiteral("cannot keep the episode of %1").arg(feed));
}

void ScheduleStore::forgetEpisode(const QString &feed)
{
    Statement remove(m_db.get(), "delete from episode_files where name = ?");
    remove.bind(1, feed).run();
}

std::optional<ScheduleStore::FeedDocument> ScheduleStore::feedDocument(const QString &feed) const
{
    Statement select(m_db.get(), "select url, answered_url, etag, last_modified from feed_documents where name = ?");
    if (!select.bind(1, feed).next())
        return std::nullopt;
    return FeedDocument{select.text(0), select.text(1), select.bytes(2), select.bytes(3)};
}

void ScheduleStore::saveFeedDocument(const QString &feed, const FeedDocument &document)
{
    Statement insert(m_db.get(), "insert or replace into feed_documents values (?, ?, ?, ?, ?)");
    if (!insert.bind(1, feed)
             .bind(2, document.url)
             .bind(3, document.answeredUrl)
             .bind(4, document.etag)
             .bind(5, document.lastModified)
             .run())
        fail(QStringLiteral("cannot keep the feed validators of %1").arg(feed));
}

void ScheduleStore::forgetFeedDocument(const QString &feed)
{
    Statement remove(m_db.get(), "delete from feed_documents where name = ?");
    remove.bind(1, feed).run();
}

} // namespace tidewell
