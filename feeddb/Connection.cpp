#include "Connection.h"

#include "RuntimeError.h"

#include <sqlite3.h>

namespace tidewell {
namespace {

RuntimeError databaseError(sqlite3 *db, const QString &context = {})
{
    QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("Operation is not allowed when the object is closed.");
    if (!context.isEmpty())
        message = context + QStringLiteral(": ") + message;
    return {errnum::ProviderFailure, message};
}

struct StatementDeleter
{
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

StatementHandle prepare(sqlite3 *db, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_stmt *raw = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &raw, &tail) != SQLITE_OK)
        throw databaseError(db);
    StatementHandle statement(raw);
    if (!statement) // empty text or only a comment
        throw RuntimeError(errnum::ProviderFailure, QStringLiteral("Command text was not set for the command object."));
    // One statement per call, as the provider took them: trailing text other
    // than blanks and a semicolon is refused rather than silently ignored.
    const QByteArray rest = QByteArray(tail).trimmed();
    if (!rest.isEmpty() && rest != ";")
        throw RuntimeError(errnum::ProviderFailure, QStringLiteral("Characters found after end of SQL statement."));
    return statement;
}

FieldValue columnValue(sqlite3_stmt *statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return FieldValue(static_cast<qint64>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return FieldValue(sqlite3_column_double(statement, column));
    case SQLITE_NULL:
        return {};
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
        return FieldValue(QString::fromUtf8(text, sqlite3_column_bytes(statement, column)));
    }
    }
}

} // namespace

void Connection::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

Connection::Connection() = default;
Connection::~Connection() = default;

QString Connection::dataSource(const QString &connectionString)
{
    static const QString key = QStringLiteral("Data Source=");
    const auto start = connectionString.indexOf(key, 0, Qt::CaseInsensitive);
    if (start < 0)
        return {};
    const auto from = start + key.size();
    const auto end = connectionString.indexOf(QLatin1Char(';'), from);
    return connectionString.mid(from, end < 0 ? -1 : end - from).trimmed();
}

void Connection::Open(const QString &connectionString)
{
    if (m_db)
        throw RuntimeError(3705, QStringLiteral("Operation is not allowed when the object is open."));
    const QString path = dataSource(connectionString);
    if (path.isEmpty())
        throw RuntimeError(errnum::ProviderFailure, QStringLiteral("The connection string names no Data Source."));
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK)
        throw databaseError(db.get(), QStringLiteral("Could not open '%1'").arg(path));
    // Double quotes name identifiers only; a mistyped statement must fail
    // instead of comparing with a string.
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // Another process (the window, a command, the headless scheduler) may
    // hold the file for a moment; wait for it rather than fail at once.
    sqlite3_busy_timeout(db.get(), lockWaitMilliseconds);
    // Opening is lazy; reading the schema proves the file is a database now,
    // when the failure can be reported as a failed open.
    if (sqlite3_exec(db.get(), "select count(*) from sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw databaseError(db.get(), QStringLiteral("Could not open '%1'").arg(path));
    m_db = std::move(db);
}

sqlite3 *Connection::handle() const
{
    if (!m_db)
        throw RuntimeError(3704, QStringLiteral("Operation is not allowed when the object is closed."));
    return m_db.get();
}

void Connection::Execute(const QString &statement)
{
    sqlite3 *db = handle();
    const StatementHandle prepared = prepare(db, statement);
    int rc;
    while ((rc = sqlite3_step(prepared.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throw databaseError(db);
}

QueryResult Connection::query(const QString &statement)
{
    sqlite3 *db = handle();
    const StatementHandle prepared = prepare(db, statement);
    QueryResult result;
    const int columnCount = sqlite3_column_count(prepared.get());
    for (int column = 0; column < columnCount; ++column)
        result.columns << QString::fromUtf8(sqlite3_column_name(prepared.get(), column));
    int rc;
    while ((rc = sqlite3_step(prepared.get())) == SQLITE_ROW) {
        std::vector<FieldValue> row;
        row.reserve(static_cast<std::size_t>(columnCount));
        for (int column = 0; column < columnCount; ++column)
            row.push_back(columnValue(prepared.get(), column));
        result.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        throw databaseError(db);
    return result;
}

int Connection::State() const
{
    return m_db ? 1 : 0;
}

void Connection::Close()
{
    handle();
    m_db.reset();
}

} // namespace tidewell
