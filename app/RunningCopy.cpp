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

// One name per data folder: two users, or two feed lists of one user, each
// have their own window and their own locks.
QString perFeedList(const QString &dataFolder)
{
    const QByteArray folder = QFileInfo(dataFolder).absoluteFilePath().toUtf8();
    return QStringLiteral("tidewell-episode-keeper-")
        + QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
}

// In the user's own runtime folder.
QString serverName(const QString &dataFolder)
{
    const QString name = perFeedList(dataFolder);
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? name : runtime + QLatin1Char('/') + name;
}

// Where the program keeps its state (beside the schedule).
QString stateFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Marrowby/Tidewell Episode Keeper");
}

// Without a lock a second copy could fetch every episode again beside this
// one, so the program does not run.
QString noLockMessage(const RunningCopy &running)
{
    return QStringLiteral("Tidewell Episode Keeper cannot make a lock file in any of %1, so it could not keep a "
                          "second copy from downloading the same feeds; it does not start.")
        .arg(running.lockPlaces().join(QStringLiteral(", ")));
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

FeedListLock::FeedListLock(const QString &dataFolder, const QString &name)
{
    const QString elsewhere = perFeedList(dataFolder) + QLatin1Char('-') + name;
    QStringList paths{dataFolder + QLatin1Char('/') + name};
    // Only the session's own runtime folder: Qt's stand-in for a missing one
    // is a folder in /tmp.
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        paths << runtime + QLatin1Char('/') + elsewhere;
    paths << stateFolder() + QLatin1Char('/') + elsewhere;
    for (const QString &path : paths) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        auto lock = std::make_unique<QLockFile>(path);
        // Held for the whole run, so only a lock whose process is gone is stale.
        lock->setStaleLockTime(0);
        m_places.push_back(std::move(lock));
    }
}

FeedListLock::Result FeedListLock::tryLock()
{
    for (const auto &place : m_places) {
        if (place.get() == m_taken)
            continue;
        if (place->tryLock(0)) {
            // Taken here, or only looked at: a place after the one taken may
            // still be held by a copy that could not use the first.
            if (m_taken)
                place->unlock();
            else
                m_taken = place.get();
            continue;
        }
        if (place->error() == QLockFile::LockFailedError) {
            unlock();
            return Result::Held;
        }
        // No lock can be made here: the next place will do.
    }
    return m_taken ? Result::Taken : Result::Impossible;
}

void FeedListLock::unlock()
{
    if (m_taken)
        m_taken->unlock();
    m_taken = nullptr;
}

qint64 FeedListLock::holder() const
{
    for (const auto &place : m_places) {
        qint64 process = 0;
        if (place.get() != m_taken && place->getLockInfo(&process, nullptr, nullptr))
            return process;
    }
    return 0;
}

QStringList FeedListLock::places() const
{
    QStringList paths;
    for (const auto &place : m_places)
        paths << place->fileName();
    return paths;
}

RunningCopy::RunningCopy(const QString &dataFolder)
    : m_windowLock(dataFolder, QStringLiteral("window.lock")),
      m_schedulerLock(dataFolder, QStringLiteral("scheduler.lock"))
{
}

RunningCopy::Holder RunningCopy::claimForWindow()
{
    switch (m_windowLock.tryLock()) {
    case FeedListLock::Result::Taken:
        break;
    case FeedListLock::Result::Held:
        m_holderProcess = m_windowLock.holder();
        return Holder::Window;
    case FeedListLock::Result::Impossible:
        return Holder::NoLock;
    }
    switch (m_schedulerLock.tryLock()) {
    case FeedListLock::Result::Taken:
        return Holder::None;
    case FeedListLock::Result::Held:
        m_windowLock.unlock();
        m_holderProcess = m_schedulerLock.holder();
        return Holder::Headless;
    case FeedListLock::Result::Impossible:
        break;
    }
    m_windowLock.unlock();
    return Holder::NoLock;
}

RunningCopy::Holder RunningCopy::claimForHeadless()
{
    switch (m_schedulerLock.tryLock()) {
    case FeedListLock::Result::Taken:
        return Holder::None;
    case FeedListLock::Result::Impossible:
        return Holder::NoLock;
    case FeedListLock::Result::Held:
        break;
    }
    m_holderProcess = m_schedulerLock.holder();
    // The window holds both locks under one process.
    return m_windowLock.holder() == m_holderProcess ? Holder::Window : Holder::Headless;
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
    case RunningCopy::Holder::NoLock:
        messageBox.show(noLockMessage(running));
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
    case RunningCopy::Holder::NoLock:
        std::fprintf(stderr, "%s\n", noLockMessage(*running).toLocal8Bit().constData());
        return nullptr;
    }
    std::fprintf(stderr, "%s\n", refusal.arg(running->holderProcess()).toLocal8Bit().constData());
    return nullptr;
}

} // namespace tidewell
