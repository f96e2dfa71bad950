#include "RunningCopy.h"

#include "MessageBox.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <cstdio>

namespace tidewell {
namespace {
const QByteArray request = QByteArrayLiteral("come forward\n");
const QByteArray reply = QByteArrayLiteral("coming\n");

// One name per data folder, in the user's own runtime folder: two users, or
// two feed lists of one user, each have their own window.
QString serverName(const QString &dataFolder)
{
    const QByteArray folder = QFileInfo(dataFolder).absoluteFilePath().toUtf8();
    const QString name = QStringLiteral("tidewell-episode-keeper-")
        + QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? name : runtime + QLatin1Char('/') + name;
}

bool readLine(QLocalSocket &socket, QByteArray &line, const QDeadlineTimer &deadline)
{
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    }
    line = socket.readLine();
    return true;
}
} // namespace

RunningCopy::RunningCopy(const QString &dataFolder)
    : m_windowLock(dataFolder + QStringLiteral("/window.lock")),
      m_schedulerLock(dataFolder + QStringLiteral("/scheduler.lock"))
{
    QDir().mkpath(dataFolder);
    // Held for the whole run, so only a lock whose process is gone is stale.
    m_windowLock.setStaleLockTime(0);
    m_schedulerLock.setStaleLockTime(0);
}

bool RunningCopy::heldByAnother(QLockFile &lock)
{
    return !lock.tryLock(0) && lock.error() == QLockFile::LockFailedError;
}

qint64 RunningCopy::processHolding(const QLockFile &lock)
{
    qint64 process = 0;
    return lock.getLockInfo(&process, nullptr, nullptr) ? process : 0;
}

RunningCopy::Holder RunningCopy::claimForWindow()
{
    if (heldByAnother(m_windowLock)) {
        m_holderProcess = processHolding(m_windowLock);
        return Holder::Window;
    }
    if (heldByAnother(m_schedulerLock)) {
        if (m_windowLock.isLocked())
            m_windowLock.unlock();
        m_holderProcess = processHolding(m_schedulerLock);
        return Holder::Headless;
    }
    return Holder::None;
}

RunningCopy::Holder RunningCopy::claimForHeadless()
{
    if (!heldByAnother(m_schedulerLock))
        return Holder::None;
    m_holderProcess = processHolding(m_schedulerLock);
    // The window holds both locks under one process.
    return processHolding(m_windowLock) == m_holderProcess ? Holder::Window : Holder::Headless;
}

ComeForwardServer::ComeForwardServer(const QString &dataFolder, QObject *parent)
    : QObject(parent), m_server(new QLocalServer(this))
{
    const QString name = serverName(dataFolder);
    // Only the holder of the window lock gets here, so a socket already there
    // was left by a window that died.
    QLocalServer::removeServer(name);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name))
        std::fprintf(stderr, "A second start cannot bring this window forward: %s\n",
                     m_server->errorString().toLocal8Bit().constData());
    connect(m_server, &QLocalServer::newConnection, this, &ComeForwardServer::answer);
}

bool ComeForwardServer::isListening() const
{
    return m_server->isListening();
}

void ComeForwardServer::answer()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == request) {
                Q_EMIT comeForward();
                socket->write(reply);
            }
            socket->disconnectFromServer();
        });
    }
}

bool askToComeForward(const QString &dataFolder, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    QLocalSocket socket;
    // The running window takes its lock a moment before it listens, so a
    // start right after it may have to try again.
    for (;;) {
        socket.connectToServer(serverName(dataFolder));
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(request);
    QByteArray answer;
    return socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())) && readLine(socket, answer, deadline)
        && answer == reply;
}

std::optional<int> deferToRunningCopy(RunningCopy &running, const QString &dataFolder, MessageBox &messageBox)
{
    switch (running.claimForWindow()) {
    case RunningCopy::Holder::None:
        return std::nullopt;
    case RunningCopy::Holder::Window:
        if (askToComeForward(dataFolder, 10000))
            return 0;
        messageBox.show(QStringLiteral("Tidewell Episode Keeper is already running (process %1), but its window "
                                       "did not come forward.")
                            .arg(running.holderProcess()));
        return 1;
    case RunningCopy::Holder::Headless:
        messageBox.show(QStringLiteral("Tidewell Episode Keeper is already downloading your feeds without its "
                                       "window (tidewell-episode-keeper --headless, process %1).\r\nStop it before "
                                       "opening the window, so that no episode is downloaded twice.")
                            .arg(running.holderProcess()));
        return 1;
    }
    return 1;
}

std::unique_ptr<RunningCopy> claimHeadlessScheduler(const QString &dataFolder)
{
    auto running = std::make_unique<RunningCopy>(dataFolder);
    QString refusal;
    switch (running->claimForHeadless()) {
    case RunningCopy::Holder::None:
        return running;
    case RunningCopy::Holder::Window:
        refusal = QStringLiteral("Tidewell Episode Keeper is already scheduling these feeds in its window "
                                 "(process %1); close it before starting --headless.");
        break;
    case RunningCopy::Holder::Headless:
        refusal = QStringLiteral("Another headless scheduler (process %1) is already downloading these feeds; "
                                 "stop it before starting --headless again.");
        break;
    }
    std::fprintf(stderr, "%s\n", refusal.arg(running->holderProcess()).toLocal8Bit().constData());
    return nullptr;
}

} // namespace tidewell
