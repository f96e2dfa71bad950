#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>


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
// or the headless scheduler (the service), never both and never two of
// either, or every episode would be fetched twice. The schedule's lock says
// which; the window and the service each have a lock of their own besides,
// so that there is one of each at most. A lock left behind by a copy that
// died is taken over. A copy that cannot make a lock anywhere does not run.
// The command line's other actions take no lock and run beside either.
class RunningCopy
{
public:
    enum class Holder { None, Window, Headless, NoLock };

    explicit RunningCopy(const QString &dataFolder);
    RunningCopy(const RunningCopy &) = delete;
    RunningCopy &operator=(const RunningCopy &) = delete;

    // The window's lock, then the schedule's. None when both are taken;
    // Window when another window runs (nothing is taken); Headless when the
    // service schedules (the window's own lock is kept, so that it may ask
    // the service to hand over); NoLock.
    Holder claimForWindow();
    // The service's own lock: None when taken, Headless when another service
    // runs on this feed list, NoLock.
    Holder claimForService();
    // The schedule's lock: true when this copy holds it now.
    bool takeSchedule();
    void releaseSchedule();
    // Another copy holds the schedule's lock.
    bool scheduleHeldElsewhere() const;
    // The process of the copy a refused claim found.
    qint64 holderProcess() const { return m_holderProcess; }
    // Where the schedule's lock was looked for, for a refusal's message.
    QStringList lockPlaces() const { return m_schedulerLock.places(); }

private:
    FeedListLock m_windowLock;
    FeedListLock m_serviceLock;
    FeedListLock m_schedulerLock;
    qint64 m_holderProcess = 0;
};

class LocalChannel;

// Without a lock a second copy could fetch every episode again beside this
// one, so the program does not run; this says so.
QString noLockMessage(const RunningCopy &running);

// The window's channel: later starts of the window ask it to come forward,
// and a change of the feed list made elsewhere (an import) asks it to read
// the list again.
class WindowChannel : public QObject
{
    Q_OBJECT

public:
    explicit WindowChannel(const QString &dataFolder, QObject *parent = nullptr);
    bool isListening() const;

Q_SIGNALS:
    void comeForward();
    void reloadList();

private:
    LocalChannel *m_channel;
};

// Asks the window running on the data folder to come forward; true when it
// said it did within the time given.
bool askToComeForward(const QString &dataFolder, int milliseconds);

// Tells whichever copy schedules the feed list to read it again; true when
// one did.
bool tellSchedulerToReload(const QString &dataFolder);

// A start of the window: nothing when it may go on (`running` then holds the
// locks); otherwise the exit status, after asking the window already running
// to come forward, or after telling the user why it cannot open. When the
// service schedules, `handOver` asks it for the schedule and takes the lock;
// false when that did not happen.
std::optional<int> deferToRunningCopy(RunningCopy &running, const QString &dataFolder, MessageBox &messageBox,
                                      const std::function<bool()> &handOver);

} // namespace tidewell
