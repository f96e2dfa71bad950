#pragma once

#include "AfterDownloadCommand.h"
#include "ErrorTrap.h"
#include "FeedStore.h"
#include "Form2.h"
#include "MessageBox.h"
#include "ScheduleDriver.h"
#include "SkinFramework.h"
#include "Tray.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QTimer;
class QTreeView;

namespace tidewell {

class MousePointerSwitch;
class Network;
class ScheduleStore;
class cSysTray;

// One element of the countdown timer array: the interval and the enabled
// state each row's countdown relies on. One wake-up a second drives every
// enabled element, rather than a timer per row waking the program.
class TimerElement
{
public:
    int interval() const { return m_interval; }
    void setInterval(int milliseconds) { m_interval = milliseconds; }
    bool isActive() const { return m_enabled; }
    void start() { m_enabled = true; }
    void stop() { m_enabled = false; }

private:
    int m_interval = 0;
    bool m_enabled = false;
};

// The main window: the feed list, the three buttons and the start-up options.
// Its load handler is the program's start-up sequence.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    struct Environment
    {
        MessageBox &messageBox;
        // Where the templates and the other resources stand; the executable's
        // folder in the program, a prepared folder in tests.
        QString programFolder;
        // How often the countdown timers tick; tests choose a length that
        // never elapses and drive the ticks themselves.
        int tickMilliseconds = 1000;
        // The notification area; empty means the desktop's own.
        std::function<std::unique_ptr<Tray>()> tray = {};
        // Ends the program when the window has closed; empty means leaving
        // every event loop at once. Tests, which have more to run, record it.
        std::function<void()> endProgram = {};
        // What the window needs besides and may share with the rest of the
        // program; empty means its own: the wall clock, a network object,
        // the per-user schedule store.
        const Clock *clock = nullptr;
        Network *network = nullptr;
        ScheduleStore *store = nullptr;
        // Makes the download of a feed row; empty means the real one. Tests
        // make downloads that end when they say.
        DownloadFactory makeDownload = {};
        // The program's minute (shorter to try a schedule out).
        qint32 secondsPerMinute = 60;
        // The schedule was handed over by the background service, which
        // waits until this window closes.
        bool scheduleFromService = false;
    };

    // Columns of the list and the roles under which each row keeps its
    // feed's stored minute (absent when it could not be read) and its row in
    // the feed table.
    enum Column { NameColumn = 0, CountdownColumn = 1, ActiveColumn = 2 };
    static constexpr int MinuteRole = Qt::UserRole + 1;
    static constexpr int RowRole = Qt::UserRole + 2;

    explicit Form1(Environment environment, QWidget *parent = nullptr);
    ~Form1() override;

    void Form_Load();
    // Shows the window as the start-up left it: normal, or minimised, which
    // hides it into the notification area at once. Call after Form_Load.
    void showAfterLoad();
    // A later start of the program asks this one to come forward: the
    // window, and whatever was open over it, restored and activated.
    void comeForward();
    void listPodCast();
    // "Add / Remove Feeds": the editor, modally, then the list afresh.
    void PushButton1_Click();

    // The window's life: minimising hides it into the notification area, a
    // click on the icon brings it back, closing ends the program.
    void Form_Resize();
    void cSysTray1_MouseUp(int Button, int Id);
    void Form_QueryUnload();
    void Form_Unload();
    // The start-up options.
    void Check3_Click();
    void Check8_Click();

    Form2 &editor() { return *m_editor; }

    // Scheduling: "Turn On"/"Turn Off", and one timer tick of element k.
    void PushButton6_Click();
    void Timer1_Timer(int index);
    bool schedulingOn() const;
    // "Start Downloading Selected", and the silent job of the scheduler for
    // list row `row` (counted from 1), handed to the scheduling driver.
    void PushButton2_Click();
    void DownloadFeed(int row);
    ScheduleDriver &driver() { return m_driver; }
    // Timer element k's target, and the seconds its row has counted.
    qint32 IntervalSeconds(int index) const;
    qint32 ElapsedSeconds(int index);

    int rowCount() const;
    QString itemText(int row, Column column) const;

    QTreeView *ListView1 = nullptr;
    QStandardItemModel *ListItems = nullptr;
    QPushButton *PushButton1 = nullptr; // "Add / Remove Feeds"
    QPushButton *PushButton2 = nullptr; // "Start Downloading Selected"
    QPushButton *PushButton6 = nullptr; // "Turn On" / "Turn Off"
    QGroupBox *Frame1 = nullptr;        // "Startup Options"
    QCheckBox *Check8 = nullptr;        // "Start in system tray"
    QCheckBox *Check3 = nullptr;        // "Load this software on Windows startup"
    QLabel *StatusLine = nullptr;        // the running transfer, or the last scheduled outcome
    QProgressBar *TransferProgress = nullptr;
    // The countdown timers, element k for list row k + 1; element 0 exists
    // from the start. Their targets and counts are the engine's.
    std::vector<std::unique_ptr<TimerElement>> Timer1;

    cSysTray *cSysTray1 = nullptr;
    SkinFramework SkinFramework1;

    FeedStore dbConn;
    bool newDatabase = false;
    bool isLoading = false;
    bool hiddenInTray = false;

private:
    void buildControls();
    void describeControls();
    void orderTabStops();
    bool anyWindowAway() const;
    void bringBack();
    QList<QWidget *> ownedWindows() const;
    void addColumns(ErrorTrap &onError);
    void restoreSchedulingState(ErrorTrap &onError);
    QString resourcePath(const QString &fileName) const;
    void reselect(FeedRow feed);

    // Scheduling helpers: timers follow feeds, not list positions.
    FeedRow feedRowOf(int row) const;
    int listRowOf(FeedRow feed) const;
    int scheduleIndexOf(int row) const;
    void connectDriver();
    void turnSchedulingOn();
    void turnSchedulingOff();
    void resizeTimers(std::size_t count);
    void rebindTimers();
    void tickAll();
    void setCountdownText(int row, const QString &text);
    QString countText(int feed);
    void holdRow(FeedRow feed);
    void downloadEnded(const DownloadEnd &end);
    void noteOutcome(const DownloadEnd &end);
    std::optional<FeedDownloadOutcome> downloadByHand(FeedRow row, ErrorTrap &onError);
    void showTransfers(FeedRow latest);
    void showRowDetails();
    void showRowDetails(int row);
    void showStatus();
    void showFailuresInTray();
    void notifyOfFailures(const DownloadEnd &end);

    void leaveMinimisedUnseen();
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

    MessageBox &m_messageBox;
    QString m_programFolder;
    int m_tickMilliseconds;
    qint32 m_secondsPerMinute;
    bool m_scheduleFromService;
    std::function<void()> m_endProgram;
    std::unique_ptr<SystemClock> m_ownClock;
    std::unique_ptr<Network> m_ownNetwork;
    std::unique_ptr<ScheduleStore> m_ownStore;
    const Clock &m_clock;
    Network &m_network;
    ScheduleStore &m_store;
    AfterDownloadCommand m_afterDownload;
    ScheduleDriver m_driver;
    QTimer *m_wakeUp = nullptr;             // drives every enabled timer element
    std::unique_ptr<Form2> m_editor;
    MousePointerSwitch *m_pointer = nullptr;
    std::unordered_map<FeedRow, int> m_listRowOf;
    // The status line: the running downloads, else the last scheduled
    // outcome, except that a failure stays in view until its feed next
    // succeeds, and that the schedule failing to reach the disk says so.
    std::map<FeedRow, std::pair<qint64, qint64>> m_transfers; // received and total of each
    QString m_lastScheduledOutcome;
    QList<FeedRow> m_failingFeeds;          // oldest first
    std::map<FeedRow, QString> m_failures;  // the status text of each failing feed
    // The same for the notification area: the feed and why, and how many
    // downloads in a row failed (a notification comes at the third).
    struct Failing
    {
        QString feed;
        QString reason;
        int inARow = 0;
    };
    std::map<FeedRow, Failing> m_failing;
    QString m_storeProblem;
    int m_binding = 0;                      // changes whenever the timers are bound afresh
    bool m_switchingScheduling = false;
    bool m_everShown = false;
};

} // namespace tidewell
