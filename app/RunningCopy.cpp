#include "RunningCopy.h"

#include "LocalChannel.h"
#include "MessageBox.h"
#include "PathHelpers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#include <cstdio>

namespace tidewell {
namespace {
const QByteArray comeForwardRequest = QByteArrayLiteral("come forward");
const QByteArray comeForwardAnswer = QByteArrayLiteral("coming\n");
const QByteArray reloadRequest = QByteArrayLiteral("reload");
const QByteArray reloadedAnswer = QByteArrayLiteral("reloaded\n");
} // namespace

QString noLockMessage(const RunningCopy &running)
{
    return QStringLiteral("Tidewell Episode Keeper cannot make a lock file in any of %1, so it could not keep a "
                          "second copy from downloading the same feeds; it does not start.")
        .arg(running.lockPlaces().join(QStringLiteral(", ")));
}


FeedListLock::FeedListLock(const QString &dataFolder, const QString &name)
{
    const QString elsewhere = feedListKey(dataFolder) + QLatin1Char('-') + name;
    QStringList paths{dataFolder + QLatin1Char('/') + name};
    // Only the session's own runtime folder: Qt's stand-in for a missing one
    // is a folder in /tmp.
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        paths << runtime + QLatin1Char('/') + elsewhere;
    paths << StateFolder() + QLatin1Char('/') + elsewhere;
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
      m_serviceLock(dataFolder, QStringLiteral("service.lock")),
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
        // The window's own lock is kept: the service may hand the schedule over.
        m_holderProcess = m_schedulerLock.holder();
        return Holder::Headless;
    case FeedListLock::Result::Impossible:
        break;
    }
    m_windowLock.unlock();
    return Holder::NoLock;
}

RunningCopy::Holder RunningCopy::claimForService()
{
    switch (m_serviceLock.tryLock()) {
    case FeedListLock::Result::Taken:
        return Holder::None;
    case FeedListLock::Result::Held:
        m_holderProcess = m_serviceLock.holder();
        return Holder::Headless;
    case FeedListLock::Result::Impossible:
        break;
    }
    return Holder::NoLock;
}

bool RunningCopy::takeSchedule()
{
    if (m_schedulerLock.isLocked())
        return true;
    if (m_schedulerLock.tryLock() == FeedListLock::Result::Taken)
        return true;
    m_holderProcess = m_schedulerLock.holder();
    return false;
}

void RunningCopy::releaseSchedule()
{
    m_schedulerLock.unlock();
}

bool RunningCopy::scheduleHeldElsewhere() const
{
    return !m_schedulerLock.isLocked() && m_schedulerLock.holder() != 0;
}

WindowChannel::WindowChannel(const QString &dataFolder, QObject *parent)
    : QObject(parent), m_channel(new LocalChannel(channelPath(dataFolder, QStringLiteral("window")), this))
{
    if (!m_channel->isListening())
        std::fprintf(stderr, "A second start cannot bring this window forward: %s\n",
                     m_channel->errorString().toLocal8Bit().constData());
    connect(m_channel, &LocalChannel::request, this, [this](QLocalSocket *client, const QByteArray &line) {
        if (line == comeForwardRequest) {
            Q_EMIT comeForward();
            client->write(comeForwardAnswer);
        } else if (line == reloadRequest) {
            Q_EMIT reloadList();
            client->write(reloadedAnswer);
        }
        client->disconnectFromServer();
    });
}

bool WindowChannel::isListening() const
{
    return m_channel->isListening();
}

bool askToComeForward(const QString &dataFolder, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    // The running window takes its lock a moment before it listens, so a
    // start right after it may have to try again.
    for (;;) {
        const std::optional<QByteArray> answer = askChannel(channelPath(dataFolder, QStringLiteral("window")),
                                                            comeForwardRequest,
                                                            static_cast<int>(deadline.remainingTime()));
        if (answer)
            return *answer == comeForwardAnswer.trimmed();
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

bool tellSchedulerToReload(const QString &dataFolder)
{
    for (const QString &role : {QStringLiteral("window"), QStringLiteral("service")}) {
        if (askChannel(channelPath(dataFolder, role), reloadRequest, 5000) == reloadedAnswer.trimmed())
            return true;
    }
    return false;
}

std::optional<int> deferToRunningCopy(RunningCopy &running, const QString &dataFolder, MessageBox &messageBox,
                                      const std::function<bool()> &handOver)
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
        if (handOver())
            return std::nullopt;
        messageBox.show(QStringLiteral("Tidewell Episode Keeper is downloading your feeds without its window "
                                       "(tidewell-episode-keeper --headless, process %1), and it did not hand the "
                                       "schedule over.\r\nStop it before opening the window, so that no episode is "
                                       "downloaded twice.")
                            .arg(running.holderProcess()));
        return 1;
    case RunningCopy::Holder::NoLock:
        messageBox.show(noLockMessage(running));
        return 1;
    }
    return 1;
}

} // namespace tidewell
