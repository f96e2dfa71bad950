#pragma once

#include "TrayBackend.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace tidewell::test {

// Stands in for the notification area: records every call with its record,
// and delivers notifications the way the shell posted them. The record log
// is shared so a test can read it after the control that owns the fake is
// gone.
class FakeTrayBackend final : public TrayBackend
{
public:
    struct Call
    {
        NotifyMessage message;
        NotifyIconData data;
    };
    using Log = std::vector<Call>;

    bool Shell_NotifyIcon(NotifyMessage message, const NotifyIconData &data) override
    {
        log->push_back({message, data});
        if (message == NotifyMessage::Add)
            m_callbackMessage = data.uCallbackMessage;
        if (message == NotifyMessage::Modify && onModify)
            onModify(data);
        return true;
    }

    bool available() const override { return trayAvailable; }

    // As if the user or the shell acted on the icon now.
    void deliver(quint32 eventNumber) { post(m_callbackMessage, 0, eventNumber); }

    // As the shell did it: the notification arrives later, through the event
    // loop, so it reaches a ShowBalloon that is waiting.
    void deliverLater(quint32 eventNumber)
    {
        QTimer::singleShot(0, &m_context, [this, eventNumber] { deliver(eventNumber); });
    }

    std::vector<Call> callsOf(NotifyMessage message) const
    {
        std::vector<Call> matching;
        for (const Call &call : *log)
            if (call.message == message)
                matching.push_back(call);
        return matching;
    }

    std::shared_ptr<Log> log = std::make_shared<Log>();
    std::function<void(const NotifyIconData &)> onModify;
    bool trayAvailable = true;

private:
    quint32 m_callbackMessage = 0;
    QObject m_context;
};

} // namespace tidewell::test
