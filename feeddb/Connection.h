#pragma once

#include "FieldValue.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct sqlite3;

namespace tidewell {

// The rows of one query, read whole when it runs.
struct QueryResult
{
    QStringList columns;
    std::vector<std::vector<FieldValue>> rows;
};

// The one connection to the feed database. Failures raise RuntimeError with
// the database's own message, for the issuing procedure's error report.
class Connection
{
public:
    // How long a statement waits for a lock another process holds.
    static constexpr int lockWaitMilliseconds = 5000;

    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Opens the file named by the connection string's "Data Source". The file
    // must exist and be a feed database; nothing is created here.
    void Open(const QString &connectionString);
    // Applies one statement at once; nothing is read back.
    void Execute(const QString &statement);
    // 0 when closed, 1 when open.
    int State() const;
    void Close();

    QueryResult query(const QString &statement);

    static QString dataSource(const QString &connectionString);

private:
    struct Closer
    {
        void operator()(sqlite3 *db) const;
    };
    sqlite3 *handle() const;

    std::unique_ptr<sqlite3, Closer> m_db;
};

} // namespace tidewell
