#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace tidewell {

// What this user's machine remembers between runs, per feed: when its count
// started, how its last download went, and which file that download left, so
// that an episode already standing there is not fetched again in full. It is
// kept apart from the feed list, which is a file people hand on, in
// $XDG_STATE_HOME/Marrowby/Tidewell Episode Keeper/. The program works on
// without it: a store that cannot be opened remembers nothing, and says why
// once in error().
class ScheduleStore
{
public:
    // ~/.local/state (or $XDG_STATE_HOME) /Marrowby/Tidewell Episode Keeper/schedule.sqlite
    static QString defaultPath();

    explicit ScheduleStore(const QString &path = defaultPath());
    ~ScheduleStore();
    ScheduleStore(const ScheduleStore &) = delete;
    ScheduleStore &operator=(const ScheduleStore &) = delete;

    bool isOpen() const { return m_db != nullptr; }
    const QString &error() const { return m_error; }

    // A feed's count, kept by name; `ordinal` tells apart rows that share a
    // name (0 for the first). The count is only valid for the interval it
    // was kept with.
    struct Count
    {
        QString name;
        int ordinal = 0;
        qint32 intervalSeconds = 0;
        qint64 startedMs = 0; // when the count last started, ms since the epoch
    };
    std::vector<Count> counts() const;
    // Replaces every stored count by these.
    void saveCounts(const std::vector<Count> &counts);
    void saveCount(const Count &count);

    struct LastDownload
    {
        qint64 whenMs = 0;
        bool succeeded = false;
        QString report; // the outcome in words, with its reason
    };
    std::optional<LastDownload> lastDownload(const QString &feed) const;
    // Every feed's, by name, in one reading: a long list asked one feed at a
    // time spends its start on the database's locking.
    std::map<QString, LastDownload> lastDownloads() const;
    void saveLastDownload(const QString &feed, const LastDownload &download);

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
    std::optional<Episode> episode(const QString &feed) const;
    void saveEpisode(const QString &feed, const Episode &episode);
    void forgetEpisode(const QString &feed);

    // The validators of a feed's document as its last full answer gave them,
    // so that the next read can ask whether it changed.
    struct FeedDocument
    {
        QString url;         // the feed's address as the list has it
        QString answeredUrl; // the address that answered, after redirects
        QByteArray etag;
        QByteArray lastModified;
    };
    std::optional<FeedDocument> feedDocument(const QString &feed) const;
    void saveFeedDocument(const QString &feed, const FeedDocument &document);
    void forgetFeedDocument(const QString &feed);

private:
    struct Closer
    {
        void operator()(sqlite3 *db) const;
    };
    void execute(const char *sql) const;
    void fail(const QString &what) const;

    std::unique_ptr<sqlite3, Closer> m_db;
    mutable QString m_error;
};

} // namespace tidewell
