#include "ScheduleStore.h"

#include "PathHelpers.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tidewell {

namespace {

using sqlite::Statement;

// Version 3 keys every table by the feed's row, keeps a download's outcome
// and failure as values, and, for each file and feed document, the address
// its validators came from.
constexpr int schemaVersion = 3;
constexpr const char *downloadsTable = R"(
create table downloads (
    row integer primary key, name text not null, happened integer not null, outcome integer not null,
    folder text not null, failure integer not null, http_status integer not null, detail text not null,
    after_download text not null);
)";
constexpr const char *otherTables = R"(
create table counts (
    row integer primary key, name text not null, interval integer not null, due integer not null,
    failures integer not null, retry integer, retry_asked integer not null);
create table episodes (
    row integer primary key, url text not null, answered_url text not null, destination text not null,
    etag text not null, last_modified text not null, size integer not null, modified integer not null,
    changed integer not null);
create table feed_documents (
    row integer primary key, url text not null, answered_url text not null, etag text not null,
    last_modified text not null);
)";
// Counts the name-keyed schedule of the program's earlier versions kept,
// until a feed of that name and interval takes its own; a name two rows
// shared cannot tell whose count it was and is left out.
constexpr const char *nameKeyedCounts = R"(
create table if not exists name_keyed_counts (
    name text primary key, interval integer not null, due integer not null);
)";
constexpr const char *carryNameKeyedCounts = R"(
insert or replace into name_keyed_counts
    select name, interval, started + interval * 1000 from counts
    where name in (select name from counts group by name having count(*) = 1);
)";

// The script that brings a file of `version` to this one: version 2 differs
// only in how a download is kept, which starts afresh; anything older is
// keyed by name, and only its counts are carried over (an episode is then
// fetched in full once).
QByteArray upgradeScript(sqlite3 *db, qint64 version)
{
    QByteArray script = QByteArray("begin immediate;") + nameKeyedCounts;
    if (version == 2) {
        script += QByteArray("drop table if exists downloads;") + downloadsTable;
    } else {
        if (Statement started(db, "select 1 from pragma_table_info('counts') where name = 'started'"); started.next())
            script += carryNameKeyedCounts;
        for (const char *table : {"counts", "downloads", "episodes", "episode_files", "feed_documents"})
            script += "drop table if exists " + QByteArray(table) + ';';
        script += QByteArray(downloadsTable) + otherTables;
    }
    return script + "pragma user_version = " + QByteArray::number(schemaVersion) + "; commit;";
}

// The log is folded into the file once it holds this many pages (the size
// SQLite itself would wait for).
constexpr int checkpointPages = 1000;
// A file another process holds is tried again this much later; one that
// failed to take a write, this much later.
constexpr int busyRetryMs = 1000;
constexpr int failedRetryMs = 60 * 1000;

} // namespace

// Folding the log into the file syncs both to disk, which can take long on a
// busy disk; it runs on a thread of its own, with a connection of its own,
// so the event loop never waits for it.
class ScheduleStore::Checkpointer
{
public:
    explicit Checkpointer(QString path) : m_path(std::move(path)), m_thread([this] { run(); }) {}
    ~Checkpointer()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void request()
    {
        {
            std::lock_guard lock(m_mutex);
            m_wanted = true;
        }
        m_wake.notify_one();
    }

private:
    void run()
    {
        sqlite3 *db = nullptr;
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_wanted || m_stopping; });
            if (m_stopping)
                break;
            m_wanted = false;
            lock.unlock();
            if (!db && sqlite3_open_v2(m_path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
                sqlite3_close(db);
                db = nullptr;
                continue;
            }
            // Passive: it takes what no reader needs and never waits for one.
            sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        }
        sqlite3_close(db);
    }

    QString m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_wanted = false;
    bool m_stopping = false;
    std::thread m_thread;
};

QString ScheduleStore::defaultPath()
{
    return StateFolder() + QStringLiteral("/schedule.sqlite");
}

ScheduleStore::ScheduleStore(const QString &path, Mode mode, QObject *parent)
    : QObject(parent), m_mode(mode), m_path(path)
{
    m_writeTimer.setSingleShot(true);
    connect(&m_writeTimer, &QTimer::timeout, this, [this] { flush(); });
    open(path);
    if (m_db)
        load();
}

ScheduleStore::~ScheduleStore()
{
    m_writeTimer.stop();
    // Whoever listened may be going too; what cannot be written now is lost
    // with the program either way.
    blockSignals(true);
    write();
    // The checkpointer's connection goes first, so closing the last one
    // folds the log into the file and removes it.
    m_checkpointer.reset();
}

void ScheduleStore::open(const QString &path)
{
    const bool readOnly = m_mode == Mode::ReadOnly;
    if (readOnly ? !QFileInfo::exists(path) : !QDir().mkpath(QFileInfo(path).absolutePath())) {
        m_error = readOnly ? QStringLiteral("%1 does not exist").arg(path)
                           : QStringLiteral("cannot make the folder of %1").arg(path);
        return;
    }
    // Read-only or not, the connection may write: reading a file in
    // write-ahead-log mode takes a few bytes of shared memory beside it.
    const bool opened = m_db.open(path, !readOnly);
    const auto fail = [&](const QString &what) {
        m_error = what + QStringLiteral(": ") + m_db.errorMessage();
        m_db.close();
    };
    if (!opened)
        return fail(QStringLiteral("cannot open %1").arg(path));
    sqlite3 *db = m_db.get();
    // Setting the file up may wait a moment for another copy of the program;
    // after that nothing waits.
    sqlite3_busy_timeout(db, 2000);
    if (!readOnly) {
        // A commit then writes the log without a sync; only folding the log
        // into the file syncs, which the checkpointer does now and then.
        if (sqlite3_exec(db, "pragma journal_mode = wal; pragma synchronous = normal; pragma wal_autocheckpoint = 0",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            return fail(QStringLiteral("cannot use %1").arg(path));
        std::optional<qint64> version;
        if (Statement read(db, "pragma user_version"); read.next())
            version = read.number(0);
        if (!version)
            return fail(QStringLiteral("cannot read %1").arg(path));
        if (*version != schemaVersion
            && sqlite3_exec(db, upgradeScript(db, *version).constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return fail(QStringLiteral("cannot set up %1").arg(path)); // closing rolls it back
        m_checkpointer = std::make_unique<Checkpointer>(path);
        sqlite3_wal_hook(
            db,
            [](void *checkpointer, sqlite3 *, const char *, int pages) {
                if (pages >= checkpointPages)
                    static_cast<Checkpointer *>(checkpointer)->request();
                return SQLITE_OK;
            },
            m_checkpointer.get());
    }
    sqlite3_busy_timeout(db, 0);
}

void ScheduleStore::load()
{
    Statement counts(m_db.get(), "select row, name, interval, due, failures, retry, retry_asked from counts");
    while (counts.next()) {
        m_counts[counts.number(0)] = {counts.text(1), static_cast<qint32>(counts.number(2)), counts.number(3),
                                      static_cast<int>(counts.number(4)), counts.optionalNumber(5),
                                      counts.number(6) != 0};
    }
    Statement downloads(m_db.get(), "select row, name, happened, outcome, folder, failure, http_status, detail, "
                                    "after_download from downloads");
    while (downloads.next()) {
        LastDownload last;
        last.whenMs = downloads.number(2);
        last.outcome.kind = static_cast<FeedDownloadOutcome::Kind>(downloads.number(3));
        last.outcome.folder = downloads.text(4);
        last.outcome.failure = {static_cast<Failure::Kind>(downloads.number(5)), static_cast<int>(downloads.number(6)),
                                downloads.text(7)};
        last.afterDownload = downloads.text(8);
        m_downloads[downloads.number(0)] = {downloads.text(1), last};
    }
    Statement episodes(m_db.get(), "select row, url, answered_url, destination, etag, last_modified, size, modified, "
                                   "changed from episodes");
    while (episodes.next()) {
        m_episodes[episodes.number(0)] = {episodes.text(1),   episodes.text(2),   episodes.text(3),
                                          episodes.bytes(4),  episodes.bytes(5),  episodes.number(6),
                                          episodes.number(7), episodes.number(8)};
    }
    Statement nameKeyed(m_db.get(), "select name, interval, due from name_keyed_counts");
    while (nameKeyed.next())
        m_nameKeyedCounts[nameKeyed.text(0)] = {nameKeyed.text(0), static_cast<qint32>(nameKeyed.number(1)),
                                                nameKeyed.number(2), 0, std::nullopt, false};
    Statement documents(m_db.get(), "select row, url, answered_url, etag, last_modified from feed_documents");
    while (documents.next()) {
        m_feedDocuments[documents.number(0)] = {documents.text(1), documents.text(2), documents.bytes(3),
                                                documents.bytes(4)};
    }
}

namespace {
template <typename Map>
auto find(const Map &map, const typename Map::key_type &key) -> std::optional<typename Map::mapped_type>
{
    const auto found = map.find(key);
    if (found == map.end())
        return std::nullopt;
    return found->second;
}
} // namespace

std::optional<ScheduleStore::Count> ScheduleStore::count(qint64 row) const
{
    return find(m_counts, row);
}

std::optional<ScheduleStore::Count> ScheduleStore::nameKeyedCount(const QString &name) const
{
    return find(m_nameKeyedCounts, name);
}

void ScheduleStore::saveCount(qint64 row, const Count &count)
{
    m_counts[row] = count;
    m_dirtyCounts.insert(row);
    if (m_nameKeyedCounts.erase(count.name) > 0)
        m_takenNameKeyedCounts.insert(count.name);
    changed();
}

void ScheduleStore::forgetCount(qint64 row)
{
    if (m_counts.erase(row) == 0)
        return;
    m_dirtyCounts.insert(row);
    changed();
}

void ScheduleStore::forgetCounts()
{
    m_counts.clear();
    m_dirtyCounts.clear();
    m_nameKeyedCounts.clear();
    m_takenNameKeyedCounts.clear();
    m_clearCounts = true;
    changed();
}

std::optional<ScheduleStore::KeptDownload> ScheduleStore::lastDownload(qint64 row) const
{
    return find(m_downloads, row);
}

void ScheduleStore::saveLastDownload(qint64 row, const KeptDownload &download)
{
    m_downloads[row] = download;
    m_dirtyDownloads.insert(row);
    changed();
}

std::optional<ScheduleStore::Episode> ScheduleStore::episode(qint64 row) const
{
    return find(m_episodes, row);
}

void ScheduleStore::saveEpisode(qint64 row, const Episode &episode)
{
    m_episodes[row] = episode;
    m_dirtyEpisodes.insert(row);
    changed();
}

void ScheduleStore::forgetEpisode(qint64 row)
{
    if (m_episodes.erase(row) == 0)
        return;
    m_dirtyEpisodes.insert(row);
    changed();
}

std::optional<ScheduleStore::FeedDocument> ScheduleStore::feedDocument(qint64 row) const
{
    return find(m_feedDocuments, row);
}

void ScheduleStore::saveFeedDocument(qint64 row, const FeedDocument &document)
{
    m_feedDocuments[row] = document;
    m_dirtyFeedDocuments.insert(row);
    changed();
}

void ScheduleStore::forgetFeedDocument(qint64 row)
{
    if (m_feedDocuments.erase(row) == 0)
        return;
    m_dirtyFeedDocuments.insert(row);
    changed();
}

void ScheduleStore::keepOnly(const std::vector<qint64> &rows)
{
    const std::set<qint64> kept(rows.begin(), rows.end());
    const auto prune = [&](auto &map, std::set<qint64> &dirty) {
        std::erase_if(map, [&](const auto &entry) { return !kept.contains(entry.first); });
        std::erase_if(dirty, [&](qint64 row) { return !kept.contains(row); });
    };
    prune(m_counts, m_dirtyCounts);
    prune(m_downloads, m_dirtyDownloads);
    prune(m_episodes, m_dirtyEpisodes);
    prune(m_feedDocuments, m_dirtyFeedDocuments);
    m_keepOnly = rows;
    changed();
}

void ScheduleStore::changed()
{
    if (m_db && m_mode == Mode::ReadWrite && !m_writeTimer.isActive())
        m_writeTimer.start(0);
}

bool ScheduleStore::flush()
{
    m_writeTimer.stop();
    switch (write()) {
    case Written::Done:
        return true;
    case Written::Busy:
        m_writeTimer.start(busyRetryMs);
        break;
    case Written::Failed:
        m_writeTimer.start(failedRetryMs);
        break;
    }
    return false;
}

bool ScheduleStore::dropRows(sqlite3 *db) const
{
    bool ok = true;
    const auto exec = [&](const QByteArray &sql) {
        ok = ok && sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    if (m_keepOnly) {
        QByteArray rows;
        for (const qint64 row : *m_keepOnly)
            rows += (rows.isEmpty() ? "" : ",") + QByteArray::number(row);
        for (const char *table : {"counts", "downloads", "episodes", "feed_documents"})
            exec("delete from " + QByteArray(table) + " where row not in (" + rows + ")");
    }
    if (m_clearCounts) {
        exec("delete from counts");
        exec("delete from name_keyed_counts");
    }
    for (const QString &name : m_takenNameKeyedCounts)
        ok = ok && Statement(db, "delete from name_keyed_counts where name = ?").bind(1, name).run();
    return ok;
}

bool ScheduleStore::writeRows(sqlite3 *db) const
{
    bool ok = true;
    const auto upsert = [&](const std::set<qint64> &dirty, const auto &map, const char *table, auto &&bind) {
        const QByteArray remove = "delete from " + QByteArray(table) + " where row = ?";
        for (const qint64 row : dirty) {
            const auto found = map.find(row);
            if (found == map.end()) {
                ok = ok && Statement(db, remove.constData()).bind(1, row).run();
                continue;
            }
            ok = ok && bind(row, found->second);
        }
    };
    upsert(m_dirtyCounts, m_counts, "counts", [&](qint64 row, const Count &count) {
        return Statement(db, "insert or replace into counts values (?, ?, ?, ?, ?, ?, ?)")
            .bind(1, row)
            .bind(2, count.name)
            .bind(3, qint64{count.intervalSeconds})
            .bind(4, count.dueMs)
            .bind(5, qint64{count.failures})
            .bind(6, count.retryAtMs)
            .bind(7, qint64{count.retryServerAsked})
            .run();
    });
    upsert(m_dirtyDownloads, m_downloads, "downloads", [&](qint64 row, const KeptDownload &download) {
        const LastDownload &last = download.last;
        return Statement(db, "insert or replace into downloads values (?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, row)
            .bind(2, download.name)
            .bind(3, last.whenMs)
            .bind(4, qint64{last.outcome.kind})
            .bind(5, last.outcome.folder)
            .bind(6, static_cast<qint64>(last.outcome.failure.kind))
            .bind(7, qint64{last.outcome.failure.httpStatus})
            .bind(8, last.outcome.failure.detail)
            .bind(9, last.afterDownload)
            .run();
    });
    upsert(m_dirtyEpisodes, m_episodes, "episodes", [&](qint64 row, const Episode &episode) {
        return Statement(db, "insert or replace into episodes values (?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, row)
            .bind(2, episode.url)
            .bind(3, episode.answeredUrl)
            .bind(4, episode.destination)
            .bind(5, episode.etag)
            .bind(6, episode.lastModified)
            .bind(7, episode.size)
            .bind(8, episode.modifiedMs)
            .bind(9, episode.changedMs)
            .run();
    });
    upsert(m_dirtyFeedDocuments, m_feedDocuments, "feed_documents", [&](qint64 row, const FeedDocument &document) {
        return Statement(db, "insert or replace into feed_documents values (?, ?, ?, ?, ?)")
            .bind(1, row)
            .bind(2, document.url)
            .bind(3, document.answeredUrl)
            .bind(4, document.etag)
            .bind(5, document.lastModified)
            .run();
    });
    return ok;
}

ScheduleStore::Written ScheduleStore::write()
{
    const bool pending = m_clearCounts || m_keepOnly || !m_dirtyCounts.empty() || !m_takenNameKeyedCounts.empty()
        || !m_dirtyDownloads.empty()
        || !m_dirtyEpisodes.empty() || !m_dirtyFeedDocuments.empty();
    if (!pending || !m_db || m_mode == Mode::ReadOnly)
        return Written::Done;
    sqlite3 *db = m_db.get();
    const int began = sqlite3_exec(db, "begin immediate", nullptr, nullptr, nullptr);
    if (began == SQLITE_BUSY)
        return Written::Busy; // another process writes: the next try will do
    const bool ok = began == SQLITE_OK && dropRows(db) && writeRows(db);
    const int committed = ok ? sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) : SQLITE_ERROR;
    if (committed != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
        if (committed == SQLITE_BUSY)
            return Written::Busy;
        setProblem(QStringLiteral("The schedule cannot be saved in %1 (%2); it is kept in memory meanwhile.")
                       .arg(m_path, message));
        return Written::Failed;
    }
    m_dirtyCounts.clear();
    m_dirtyDownloads.clear();
    m_dirtyEpisodes.clear();
    m_dirtyFeedDocuments.clear();
    m_takenNameKeyedCounts.clear();
    m_clearCounts = false;
    m_keepOnly.reset();
    setProblem({});
    return Written::Done;
}

void ScheduleStore::setProblem(const QString &message)
{
    const bool wasFailing = !m_problem.isEmpty();
    m_problem = message;
    if (wasFailing != !message.isEmpty())
        Q_EMIT writeProblem(message);
}

} // namespace tidewell
