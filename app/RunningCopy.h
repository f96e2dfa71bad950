#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QLocalServer;

namespace tidewell {

class MessageBox;

// One lock of a feed list, in the data folder or, where no lock can be made
// there (a read-only folder), in the user's runtime folder or else the state
// folder. Every place is looked at, so a copy that had to go elsewhere keeps
// out one that did not.
class FeedListLock
{
public:
    FeedListLock(const QString &dataFolder, const QString &name);
    FeedListLock(const FeedListLock &) = delete;
    FeedListLock &operator=(const FeedListLock &) = delete;

    enum class Result { Taken, Held, Impossible };
    Result tryLock();
    void unlock();
    bool isLocked() const { return m_taken != nullptr; }
    // The process of the copy that holds the lock, or 0.
    qint64 holder() const;
    // Where the lock is looked for, first choice first.
    QStringList places() const;

private:
    std::vector<std::unique_ptr<QLockFile>> m_places;
    QLockFile *m_taken = nullptr;
};

// One copy of the program schedules the downloads of a feed list: the window
// or the headless scheduler, never both and never two of either, or every
// episode would be fetched twice. Each holds a lock for as long as it runs; a
// lock left behind by a copy that died is taken over. A copy that cannot
// make a lock anywhere does not run. The command line's other actions take no
// lock and run beside either.
class RunningCopy
{
public:
    enum class Holder { None, Window, Headless, NoLock };

    explicit RunningCopy(const QString &dataFolder);
    RunningCopy(const RunningCopy &) = delete;
    RunningCopy &operator=(const RunningCopy &) = delete;

    // Take the locks of the window (its own and the scheduler's), or of the
    // headless scheduler (the scheduler's). Holder::None when taken; else the
    // copy that holds them, or NoLock, and nothing is taken.
    Holder claimForWindow();
    Holder claimForHeadless();
    // The process of the copy a refused claim found.
    qint64 holderProcess() const { return m_holderProcess; }
    // Where the scheduler's lock was looked for, for a refusal's message.
    QStringList lockPlaces() const { return m_schedulerLock.places(); }

private:
    FeedListLock m_windowLock;
    FeedListLock m_schedulerLock;
    qint64 m_holderProcess = 0;
};

// The window's end of "come forward": later starts of the window on the same
// data folder connect here and ask.
class ComeForwardServer : public QObject
{
    Q_OBJECT

public:
    explicit ComeForwardServer(const QString &dataFolder, QObject *parent = nullptr);
    bool isListening() const;

Q_SIGNALS:
    void comeForward();

private:
    void answer();

    QLocalServer *m_server;
};

// Asks the window running on the data folder to come forward; true when it
// said it did within the time given.
bool askToComeForward(const QString &dataFolder, int milliseconds);

// A start of the window: nothing when it may go on (`running` then holds the
// locks); otherwise the exit status, after asking the window already running
// to come forward, or after telling the user a headless scheduler runs.
std::optional<int> deferToRunningCopy(RunningCopy &running, const QString &dataFolder, MessageBox &messageBox);

// A start of the headless scheduler: the locks to hold while it runs, or
// nothing, after saying on standard error which copy already runs.
std::unique_ptr<RunningCopy> claimHeadlessScheduler(const QString &dataFolder);

} // namespace tidewell
