#include "Sqlite.h"

#include <sqlite3.h>

namespace tidewell::sqlite {

void Database::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

bool Database::open(const QString &path, bool create)
{
    const int flags = create ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READWRITE;
    sqlite3 *db = nullptr;
    const int opened = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    m_db.reset(db);
    return opened == SQLITE_OK;
}

void Database::close()
{
    m_db.reset();
}

QString Database::errorMessage() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db.get()));
}

bool Database::execute(const char *sql) const
{
    return sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void Statement::Finalizer::operator()(sqlite3_stmt *statement) const
{
    sqlite3_finalize(statement);
}

Statement::Statement(sqlite3 *db, const char *sql) : m_result(SQLITE_MISUSE)
{
    sqlite3_stmt *prepared = nullptr;
    if (db)
        m_result = sqlite3_prepare_v2(db, sql, -1, &prepared, nullptr);
    m_statement.reset(prepared);
}

Statement &Statement::bind(int index, const QString &text)
{
    return bind(index, text.toUtf8());
}

Statement &Statement::bind(int index, const QByteArray &bytes)
{
    sqlite3_bind_text(m_statement.get(), index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement &Statement::bind(int index, qint64 number)
{
    sqlite3_bind_int64(m_statement.get(), index, number);
    return *this;
}

Statement &Statement::bind(int index, double number)
{
    sqlite3_bind_double(m_statement.get(), index, number);
    return *this;
}

Statement &Statement::bind(int index, std::optional<qint64> number)
{
    if (number)
        return bind(index, *number);
    sqlite3_bind_null(m_statement.get(), index);
    return *this;
}

bool Statement::next()
{
    if (m_statement)
        m_result = sqlite3_step(m_statement.get());
    return m_result == SQLITE_ROW;
}

bool Statement::run()
{
    return !next() && m_result == SQLITE_DONE;
}

bool Statement::failed() const
{
    return m_result != SQLITE_OK && m_result != SQLITE_ROW && m_result != SQLITE_DONE;
}

QString Statement::text(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement.get(), column));
    return QString::fromUtf8(text, sqlite3_column_bytes(m_statement.get(), column));
}

QByteArray Statement::bytes(int column) const
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement.get(), column));
    return QByteArray(bytes, sqlite3_column_bytes(m_statement.get(), column));
}

qint64 Statement::number(int column) const
{
    return sqlite3_column_int64(m_statement.get(), column);
}

std::optional<qint64> Statement::optionalNumber(int column) const
{
    if (sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL)
        return std::nullopt;
    return number(column);
}

FieldValue Statement::value(int column) const
{
    switch (sqlite3_column_type(m_statement.get(), column)) {
    case SQLITE_INTEGER:
        return FieldValue(number(column));
    case SQLITE_FLOAT:
        return FieldValue(sqlite3_column_double(m_statement.get(), column));
    case SQLITE_NULL:
        return {};
    default:
        return FieldValue(text(column));
    }
}

} // namespace tidewell::sqlite
