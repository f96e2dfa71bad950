#pragma once

#include "FieldValue.h"
#include "RuntimeError.h"
#include "Sqlite.h"

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tidewell {

// One feed as the table [rss] holds it: the row it is kept in and its six
// fields, each read with FieldValue's conversions (and their errors).
struct FeedRecord
{
    qint64 row = 0;
    FieldValue name;
    FieldValue minute;
    FieldValue filename;
    FieldValue folder;
    FieldValue url;
    FieldValue active;
};

// The values of one feed as the editor's fields hold them.
struct FeedFields
{
    QString name;
    QString minute; // as typed: a number, whole or not, which the table keeps as one
    QString filename;
    QString folder;
    QString url;
    bool active = false;
};

// The feed list: the one table of the feed database. Every call runs a
// statement of its own; one the database refuses, or any call while the
// store is not open, raises RuntimeError for the caller's error report.
class FeedStore
{
public:
    // How long a statement waits for a lock another process holds.
    static constexpr int lockWaitMilliseconds = 5000;

    // Opens the feed database at `path`, which must exist and be one.
    void open(const QString &path);
    bool isOpen() const { return static_cast<bool>(m_db); }
    void close();

    // The error of a store that is not open, and of a query that did not run
    // when its answer is asked for.
    static RuntimeError closedError();

    // The main list's order, and the editor's.
    std::vector<FeedRecord> byMinute() const;
    std::vector<FeedRecord> byName() const;
    std::optional<FeedRecord> find(qint64 row) const;
    // Whether a feed other than the one stored as `ownName` (exactly; empty
    // for a new feed) has `name`, blanks around it aside.
    bool nameTaken(const QString &name, const QString &ownName) const;
    bool minuteTaken(const QString &minute) const;

    void insert(const FeedFields &feed);
    // The feed stored under `name` takes these values.
    void update(const QString &name, const FeedFields &feed);
    void remove(const QString &name);
    // Every feed saves into `folder`.
    void pointFoldersAt(const QString &folder);

    // Runs `changes` holding the write lock throughout, so what they read
    // stays as they found it; a failure undoes every change they made.
    template <typename Changes>
    void allOrNothing(Changes &&changes)
    {
        execute("begin immediate");
        try {
            std::forward<Changes>(changes)();
            execute("commit");
        } catch (...) {
            m_db.execute("rollback");
            throw;
        }
    }

private:
    sqlite::Statement prepare(const char *sql) const;
    sqlite::Statement selectFeeds(const char *condition) const;
    void run(sqlite::Statement &statement) const;
    bool anyRow(sqlite::Statement &statement) const;
    std::vector<FeedRecord> records(sqlite::Statement &statement) const;
    void execute(const char *sql) const;
    RuntimeError refused() const;

    sqlite::Database m_db;
};

// Blanks (spaces only) removed from both ends.
QString TrimBlanks(const QString &text);

} // namespace tidewell
