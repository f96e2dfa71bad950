#pragma once

#include "DownloadOutcome.h"
#include "Sqlite.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace tidewell {

// What this user's machine remembers between runs, per feed row: when the
// feed is next due and how its retries stand, how its last download went, and
// which file that download left, so that an episode already standing there is
// not fetched again in full. It is kept apart from the feed list, which is a
// file people hand on, in $XDG_STATE_HOME/Marrowby/Tidewell Episode Keeper/.
//
// Everything is read once when the store opens and served from memory;
// changes are written behind, all those of one turn of the event loop in one
// transaction, in write-ahead-log mode without a sync per commit, so a burst
// of downloads costs the disk next to nothing and the event loop never waits
// for it: a file another process holds is tried again a second later, and a
// write that fails is said once (writeProblem) while the program carries on
// from memory. A store that cannot be opened remembers nothing, and says why
// in error().
class ScheduleStore : public QObject
{
    Q_OBJECT

public:
    // ~/.local/state (or $XDG_STATE_HOME) /Marrowby/Tidewell Episode Keeper/schedule.sqlite
    static QString defaultPath();

    enum class Mode
    {
        ReadWrite,
        ReadOnly, // a look at the schedule: nothing is ever written
    };
    explicit ScheduleStore(const QString &path = defaultPath(), Mode mode = Mode::ReadWrite,
                           QObject *parent = nullptr);
    // Writes what is still waiting, if it can at once.
    ~ScheduleStore() override;

    bool isOpen() const { return static_cast<bool>(m_db); }
    const QString &error() const { return m_error; }

    // A feed's schedule. The name and the interval are those it was kept
    // with; it only holds for a feed that still has both.
    struct Count
    {
        QString name;
        qint32 intervalSeconds = 0;
        qint64 dueMs = 0;
        int failures = 0;
        std::optional<qint64> retryAtMs;
        bool retryServerAsked = false;
    };
    std::optional<Count> count(qint64 row) const;
    // A count an earlier version of the program kept by the feed's name
    // alone, until a count is saved under that name; no failures or retry.
    std::optional<Count> nameKeyedCount(const QString &name) const;
    void saveCount(qint64 row, const Count &count);
    void forgetCount(qint64 row);
    void forgetCounts();

    // A feed's last download, kept as a value (what it came to, the kind of
    // failure, the server's status, the detail), never as a sentence.
    struct KeptDownload
    {
        QString name; // the feed's name when it ended
        LastDownload last;
    };
    std::optional<KeptDownload> lastDownload(qint64 row) const;
    void saveLastDownload(qint64 row, const KeptDownload &download);

    // The file a feed's last download left, as it was right after it: its
    // validators belong to the address that answered them, and the size and
    // the modification and change times tell whether anything touched the
    // file since (the change time cannot be set back by hand).
    struct Episode
    {
        QString url;         // the link the feed gave
        QString answeredUrl; // the address that sent the file, after redirects
        QString destination;
        QByteArray etag;
        QByteArray lastModified;
        qint64 size = -1;
        qint64 modifiedMs = -1;
        qint64 changedMs = -1;
    };
    std::optional<Episode> episode(qint64 row) const;
    void saveEpisode(qint64 row, const Episode &episode);
    void forgetEpisode(qint64 row);

    // The validators of a feed's document as its last full answer gave them,
    // so that the next read can ask whether it changed.
    struct FeedDocument
    {
        QString url;         // the feed's address as the list has it
        QString answeredUrl; // the address that answered, after redirects
        QByteArray etag;
        QByteArray lastModified;
    };
    std::optional<FeedDocument> feedDocument(qint64 row) const;
    void saveFeedDocument(qint64 row, const FeedDocument &document);
    void forgetFeedDocument(qint64 row);

    // Forgets every feed but these, whose rows are the list now.
    void keepOnly(const std::vector<qint64> &rows);

    // Writes what is waiting now, rather than when the event loop comes
    // round; true when nothing is left waiting.
    bool flush();

Q_SIGNALS:
    // Writing failed, in words (said once until a write succeeds again, which
    // is said with an empty message).
    void writeProblem(const QString &message);

private:
    class Checkpointer;

    void open(const QString &path);
    void load();
    void changed();
    enum class Written
    {
        Done,
        Busy,
        Failed
    };
    Written write();
    // The rows a new list or a cleared count drops, then the rows changed
    // since the last write; false at the first statement that fails.
    bool dropRows(sqlite3 *db) const;
    bool writeRows(sqlite3 *db) const;
    void setProblem(const QString &message);

    sqlite::Database m_db;
    Mode m_mode;
    QString m_path;
    mutable QString m_error;
    std::map<qint64, Count> m_counts;
    std::map<QString, Count> m_nameKeyedCounts;
    std::set<QString> m_takenNameKeyedCounts;
    std::map<qint64, KeptDownload> m_downloads;
    std::map<qint64, Episode> m_episodes;
    std::map<qint64, FeedDocument> m_feedDocuments;
    // What the next write must bring to the file.
    std::set<qint64> m_dirtyCounts;
    std::set<qint64> m_dirtyDownloads;
    std::set<qint64> m_dirtyEpisodes;
    std::set<qint64> m_dirtyFeedDocuments;
    bool m_clearCounts = false;
    std::optional<std::vector<qint64>> m_keepOnly;
    QTimer m_writeTimer;
    QString m_problem;
    std::unique_ptr<Checkpointer> m_checkpointer;
};

} // namespace tidewell
