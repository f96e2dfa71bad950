#include "cSysTray.h"

#include "DesktopTray.h"
#include "RuntimeError.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace tidewell {
namespace {
std::chrono::milliseconds balloonTime(qint32 seconds)
{
    const qint64 milliseconds = qint64{seconds} * 1000;
    if (milliseconds > std::numeric_limits<qint32>::max())
        throw RuntimeError::overflow();
    return std::chrono::milliseconds(std::max<qint64>(milliseconds, 0));
}

// The first `length` characters, without splitting a character outside the
// basic plane.
QString cut(const QString &text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    const qsizetype keep = text.at(length - 1).isHighSurrogate() ? length - 1 : length;
    return text.left(keep);
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

cSysTray::cSysTray(QObject *parent) : cSysTray(std::make_unique<DesktopTray>(), parent) {}

cSysTray::cSysTray(std::unique_ptr<Tray> tray, QObject *parent) : QObject(parent), m_tray(std::move(tray))
{
    connect(m_tray.get(), &Tray::clicked, this, &cSysTray::onClicked);
    connect(m_tray.get(), &Tray::doubleClicked, this, &cSysTray::onDoubleClicked);
    connect(m_tray.get(), &Tray::noticeClosed, this, &cSysTray::balloonClosed);
    setTrayTip(QStringLiteral("Telnet Server"));
}

cSysTray::~cSysTray()
{
    quitAll(*m_balloonWaits);
    if (m_inTray)
        m_tray->setShown(false);
}

void cSysTray::setInTray(bool Show)
{
    if (Show == m_inTray)
        return;
    m_inTray = Show;
    m_tray->setShown(Show);
}

void cSysTray::setTrayTip(const QString &tip)
{
    m_tray->setTip(cut(tip, TipLength));
    m_trayTip = tip;
}

void cSysTray::setTrayIcon(const QIcon &icon)
{
    if (icon.isNull())
        return;
    m_tray->setIcon(icon);
    m_trayIcon = icon;
}

void cSysTray::onClicked(Qt::MouseButton button)
{
    // The middle button raises no event.
    const int Button = button == Qt::LeftButton ? 1 : button == Qt::RightButton ? 2 : 0;
    if (!m_inTray || Button == 0)
        return;
    // Qt reports clicks, not presses: each click is its press and release.
    // A handler may destroy this control between the two.
    const QPointer<cSysTray> alive(this);
    Q_EMIT MouseDown(Button, 0);
    if (alive)
        Q_EMIT MouseUp(Button, 0);
}

void cSysTray::onDoubleClicked()
{
    if (!m_inTray)
        return;
    // The second click of a double click ends with a release too.
    const QPointer<cSysTray> alive(this);
    Q_EMIT MouseDblClick(1, 0);
    if (alive)
        Q_EMIT MouseUp(1, 0);
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
    const std::chrono::milliseconds timeout = balloonTime(TimeoutSeconds);
    m_tray->showNotice(cut(BalloonTitle, BalloonTitleLength), cut(BalloonText, BalloonTextLength), timeout);
    m_balloonShowing = true;
    if (ShowOnce)
        ++m_onceBalloonCount;
    if (TimeoutSeconds <= 0)
        return;

    // The host may close, and destroy this control, while the wait runs.
    const QPointer<cSysTray> alive(this);
    waitForBalloon(TimeoutSeconds);
    if (alive && m_balloonShowing)
        m_tray->withdrawNotice();
}

void cSysTray::waitForBalloon(qint32 seconds)
{
    // A blocking local loop rather than polling for events: the program keeps
    // running (timers, clicks, the balloon's own closing) without the wait
    // burning a core.
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

} // namespace tidewell
