#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <type_traits>

namespace tidewell {

// Finds the first '>' at or after a position, for scans whose positions
// never go back: the answer of the last search is reused while it still lies
// ahead, so the text is searched once in all, however many '<' come before a
// '>' (or before the end, when none follows).
template <typename View>
class CloseFinder
{
public:
    explicit CloseFinder(View text) : m_text(text) {}

    // -1 when no '>' follows.
    qsizetype from(qsizetype position)
    {
        if (m_exhausted)
            return -1;
        if (m_found >= position)
            return m_found;
        m_found = position < m_text.size() ? m_text.indexOf(close(), position) : -1;
        m_exhausted = m_found < 0;
        return m_found;
    }

private:
    static auto close()
    {
        if constexpr (std::is_same_v<View, QStringView>)
            return u'>';
        else
            return '>';
    }

    View m_text;
    qsizetype m_found = -1;
    bool m_exhausted = false;
};

} // namespace tidewell
