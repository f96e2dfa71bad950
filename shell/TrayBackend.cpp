#include "TrayBackend.h"

#include <utility>

namespace tidewell {

QString fitField(const QString &text, qsizetype fieldSize)
{
    const qsizetype room = fieldSize - 1;
    if (text.size() <= room)
        return text;
    qsizetype keep = room;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep);
}

void NotifyIconData::setTip(const QString &text)
{
    szTip = fitField(text, TipSize);
}

void NotifyIconData::setInfo(const QString &text)
{
    szInfo = fitField(text, InfoSize);
}

void NotifyIconData::setInfoTitle(const QString &text)
{
    szInfoTitle = fitField(text, InfoTitleSize);
}

TrayBackend::WindowProc TrayBackend::setWindowProc(WindowProc proc)
{
    return std::exchange(m_windowProc, std::move(proc));
}

void TrayBackend::post(quint32 message, quint32 iconId, quint32 eventNumber) const
{
    // A copy, because the receiver may swap the hook while it runs.
    if (const WindowProc proc = m_windowProc)
        proc(message, iconId, eventNumber);
}

} // namespace tidewell
