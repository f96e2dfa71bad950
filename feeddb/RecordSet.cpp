#include "RecordSet.h"

#include "RuntimeError.h"

namespace tidewell {

void RecordSet::Open(const QString &source, Connection &activeConnection, int /*cursorType*/, int /*lockType*/)
{
    // Every query of the program is static and read-only: the rows are read
    // whole now and nothing is ever written back through a record set.
    if (m_open)
        throw RuntimeError(3705, QStringLiteral("Operation is not allowed when the object is open."));
    m_result = activeConnection.query(source);
    m_position = 0;
    m_open = true;
}

void RecordSet::requireOpen() const
{
    if (!m_open)
        throw RuntimeError(3704, QStringLiteral("Operation is not allowed when the object is closed."));
}

void RecordSet::requireCurrentRow() const
{
    requireOpen();
    if (m_position >= m_result.rows.size())
        throw RuntimeError(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                                "deleted. Requested operation requires a current record."));
}

bool RecordSet::Eof() const
{
    requireOpen();
    return m_position >= m_result.rows.size();
}

void RecordSet::MoveNext()
{
    requireCurrentRow();
    ++m_position;
}

FieldValue RecordSet::Fields(const QString &name) const
{
    requireCurrentRow();
    qsizetype column = 0;
    while (column < m_result.columns.size()
           && m_result.columns.at(column).compare(name, Qt::CaseInsensitive) != 0)
        ++column;
    if (column == m_result.columns.size())
        throw RuntimeError(3265, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                                "requested name or ordinal."));
    return m_result.rows[m_position][static_cast<std::size_t>(column)];
}

void RecordSet::Close()
{
    requireOpen();
    m_open = false;
    m_result = {};
    m_position = 0;
}

} // namespace tidewell
