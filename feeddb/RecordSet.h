#pragma once

#include "Connection.h"

namespace tidewell {

// Cursor and lock types the program asks for: a static, read-only snapshot.
namespace adodb {
inline constexpr int OpenStatic = 3;
inline constexpr int LockReadOnly = 1;
} // namespace adodb

// The rows of one query, walked from the first with EOF and MoveNext.
class RecordSet
{
public:
    void Open(const QString &source, Connection &activeConnection, int cursorType = adodb::OpenStatic,
              int lockType = adodb::LockReadOnly);
    // EOF in the record-set interface; the C library owns that name as a macro.
    bool Eof() const;
    void MoveNext();
    // The field of the current row by column name, compared without regard
    // to letter case.
    FieldValue Fields(const QString &name) const;
    int State() const { return m_open ? 1 : 0; }
    void Close();

private:
    void requireOpen() const;
    void requireCurrentRow() const;

    bool m_open = false;
    QueryResult m_result;
    std::size_t m_position = 0;
};

} // namespace tidewell
