#include "cSysTray.h"

#include "RuntimeError.h"
#include "SystemTrayBackend.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <limits>

namespace tidewell {
namespace {
const QString inTrayName = QStringLiteral("InTray");
const QString trayIconName = QStringLiteral("TrayIcon");
const QString trayTipName = QStringLiteral("TrayTip");

quint32 balloonMilliseconds(qint32 seconds)
{
    const qint64 milliseconds = qint64{seconds} * 1000;
    if (milliseconds > std::numeric_limits<qint32>::max())
        throw RuntimeError::overflow();
    return static_cast<quint32>(milliseconds);
}

// Keeps a wait listed for exactly as long as it runs.
class WaitRegistration
{
public:
    WaitRegistration(std::shared_ptr<QList<QEventLoop *>> waits, QEventLoop &loop)
        : m_waits(std::move(waits)), m_loop(&loop)
    {
        m_waits->append(m_loop);
    }
    ~WaitRegistration() { m_waits->removeOne(m_loop); }
    WaitRegistration(const WaitRegistration &) = delete;
    WaitRegistration &operator=(const WaitRegistration &) = delete;

private:
    std::shared_ptr<QList<QEventLoop *>> m_waits;
    QEventLoop *m_loop;
};

void quitAll(const QList<QEventLoop *> &waits)
{
    for (QEventLoop *wait : waits)
        wait->quit();
}
} // namespace

cSysTray::cSysTray(QObject *parent) : cSysTray(std::make_unique<SystemTrayBackend>(), parent) {}

cSysTray::cSysTray(std::unique_ptr<TrayBackend> backend, QObject *parent)
    : QObject(parent), m_backend(std::move(backend)), m_trayTip(defaultTrayTip())
{
}

cSysTray::~cSysTray()
{
    quitAll(*m_balloonWaits);
    // No PropertyChanged from here: the host may be half destroyed already.
    if (m_iconAdded)
        takeOutOfTray();
}

QString cSysTray::defaultTrayTip()
{
    return QStringLiteral("Telnet Server");
}

void cSysTray::setInTray(bool Show)
{
    if (Show == m_inTray)
        return;
    if (Show)
        putInTray();
    else if (m_iconAdded)
        takeOutOfTray();
    m_inTray = Show;
    Q_EMIT PropertyChanged(inTrayName);
}

void cSysTray::putInTray()
{
    m_previousWindowProc = m_backend->setWindowProc(
        [this](quint32 message, quint32 iconId, quint32 eventNumber) { TrayWindowProc(message, iconId, eventNumber); });
    AddTrayIcon(m_iconId, m_trayTip, m_trayIcon);
    m_iconAdded = true;
}

void cSysTray::takeOutOfTray()
{
    DeleteTrayIcon(m_iconId);
    m_backend->setWindowProc(std::move(m_previousWindowProc));
    m_previousWindowProc = nullptr;
    m_iconAdded = false;
}

void cSysTray::setTrayTip(const QString &tip)
{
    if (m_iconAdded) {
        NotifyIconData data;
        data.uID = m_iconId;
        data.uFlags = nif::Tip;
        data.setTip(tip);
        m_backend->Shell_NotifyIcon(NotifyMessage::Modify, data);
    }
    m_trayTip = tip;
    Q_EMIT PropertyChanged(trayTipName);
}

void cSysTray::setTrayIcon(const QIcon &icon)
{
    if (icon.isNull())
        return;
    if (m_iconAdded) {
        NotifyIconData data;
        data.uID = m_iconId;
        data.uFlags = nif::Icon;
        data.hIcon = icon;
        m_backend->Shell_NotifyIcon(NotifyMessage::Modify, data);
    }
    m_trayIcon = icon;
    Q_EMIT PropertyChanged(trayIconName);
}

void cSysTray::AddTrayIcon(quint32 id, const QString &tip, const QIcon &icon)
{
    NotifyIconData data;
    data.uID = id;
    if (!icon.isNull()) {
        data.hIcon = icon;
        data.uFlags |= nif::Icon;
        m_trayIcon = icon;
    }
    if (!tip.isEmpty()) {
        data.setTip(tip);
        data.uFlags |= nif::Tip;
        m_trayTip = tip;
    }
    data.uCallbackMessage = CallbackMessage;
    data.uFlags |= nif::Message;
    m_backend->Shell_NotifyIcon(NotifyMessage::Add, data);
}

void cSysTray::DeleteTrayIcon(quint32 id)
{
    NotifyIconData data;
    data.uID = id;
    m_backend->Shell_NotifyIcon(NotifyMessage::Delete, data);
}

void cSysTray::TrayWindowProc(quint32 message, quint32 iconId, quint32 eventNumber)
{
    if (message == CallbackMessage)
        HandleTrayMessage(eventNumber, iconId);
}

void cSysTray::HandleTrayMessage(quint32 eventNumber, quint32 id)
{
    const int Id = static_cast<int>(id);
    switch (eventNumber) {
    case trayevent::MouseMove: Q_EMIT MouseMove(Id); break;
    case trayevent::LeftButtonDown: Q_EMIT MouseDown(1, Id); break;
    case trayevent::LeftButtonUp: Q_EMIT MouseUp(1, Id); break;
    case trayevent::LeftDoubleClick: Q_EMIT MouseDblClick(1, Id); break;
    case trayevent::RightButtonDown: Q_EMIT MouseDown(2, Id); break;
    case trayevent::RightButtonUp: Q_EMIT MouseUp(2, Id); break;
    case trayevent::RightDoubleClick: Q_EMIT MouseDblClick(2, Id); break;
    case trayevent::BalloonHidden:
    case trayevent::BalloonTimedOut:
    case trayevent::BalloonClicked: balloonClosed(); break;
    default: break;
    }
}

void cSysTray::balloonClosed()
{
    m_balloonShowing = false;
    quitAll(*m_balloonWaits);
}

void cSysTray::ShowBalloon(const QString &BalloonText, const QString &BalloonTitle, qint32 TimeoutSeconds,
                           bool ShowOnce)
{
    if (ShowOnce && m_onceBalloonCount >= 1)
        return;
    NotifyIconData data;
    data.uID = m_iconId;
    data.uFlags = nif::Info;
    data.setInfoTitle(BalloonTitle);
    data.setInfo(BalloonText);
    if (TimeoutSeconds > 0)
        data.uTimeout = balloonMilliseconds(TimeoutSeconds);
    m_backend->Shell_NotifyIcon(NotifyMessage::Modify, data);
    m_balloonShowing = true;
    if (ShowOnce)
        ++m_onceBalloonCount;
    if (TimeoutSeconds <= 0)
        return;

    // The host may close, and destroy this control, while the wait runs.
    const QPointer<cSysTray> alive(this);
    waitForBalloon(TimeoutSeconds);
    if (alive && m_balloonShowing)
        removeBalloon();
}

void cSysTray::waitForBalloon(qint32 seconds)
{
    // A blocking local loop rather than polling for events: the program keeps
    // running (timers, clicks, the balloon's own notifications) without the
    // wait burning a core.
    if (!m_balloonShowing)
        return;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    const qint64 length = qint64{seconds} * m_secondLength.count();
    deadline.start(static_cast<int>(qMin<qint64>(length, std::numeric_limits<int>::max())));
    const WaitRegistration registration(m_balloonWaits, loop);
    loop.exec();
}

void cSysTray::removeBalloon()
{
    NotifyIconData data;
    data.uID = m_iconId;
    data.uFlags = nif::Info;
    m_backend->Shell_NotifyIcon(NotifyMessage::Modify, data);
}

void cSysTray::ReadProperties(const QVariantMap &bag)
{
    setInTray(bag.value(inTrayName, false).toBool());
    setTrayIcon(bag.value(trayIconName, m_trayIcon).value<QIcon>());
    setTrayTip(bag.value(trayTipName, defaultTrayTip()).toString());
}

QVariantMap cSysTray::WriteProperties() const
{
    return {{inTrayName, m_inTray}, {trayIconName, m_trayIcon}, {trayTipName, m_trayTip}};
}

} // namespace tidewell
