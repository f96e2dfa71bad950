#pragma once

#include "FieldValue.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace tidewell::sqlite {

// One connection to a database file; closed when it goes.
class Database
{
public:
    // Opens an existing file for reading and writing, or makes it when
    // `create` is set. When that fails the handle stays, for
    // errorMessage(), until close().
    bool open(const QString &path, bool create = false);
    void close();
    sqlite3 *get() const { return m_db.get(); }
    explicit operator bool() const { return m_db != nullptr; }
    // The database's own words for its last failure.
    QString errorMessage() const;
    // Runs statements that take no values and give no rows.
    bool execute(const char *sql) const;

private:
    struct Closer
    {
        void operator()(sqlite3 *db) const;
    };
    std::unique_ptr<sqlite3, Closer> m_db;
};

// One prepared statement, bound and stepped; finalised when it goes. One the
// database refused to prepare gives no rows and never runs.
class Statement
{
public:
    Statement(sqlite3 *db, const char *sql);

    Statement &bind(int index, const QString &text);
    Statement &bind(int index, const QByteArray &bytes);
    Statement &bind(int index, qint64 number);
    Statement &bind(int index, double number);
    Statement &bind(int index, std::optional<qint64> number);

    // True while there is a row to read.
    bool next();
    // True when the statement ran to its end.
    bool run();
    // The statement could not be prepared, or its last step failed.
    bool failed() const;

    QString text(int column) const;
    QByteArray bytes(int column) const;
    qint64 number(int column) const;
    std::optional<qint64> optionalNumber(int column) const;
    // The column as it is stored: null, a whole number, a real number or text.
    FieldValue value(int column) const;

private:
    struct Finalizer
    {
        void operator()(sqlite3_stmt *statement) const;
    };
    std::unique_ptr<sqlite3_stmt, Finalizer> m_statement;
    int m_result; // of the preparation, then of the last step
};

} // namespace tidewell::sqlite
