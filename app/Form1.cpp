#include "Form1.h"

#include "ProgramTitle.h"

#include "CursorFile.h"
#include "ElidedLabel.h"
#include "DataFile.h"
#include "DoEvents.h"
#include "FormatCountdown.h"
#include "Network.h"
#include "ScheduleStore.h"
#include "MousePointer.h"
#include "ProgramIcon.h"
#include "PushButtonKeys.h"
#include "ReportLines.h"
#include "ReportList.h"
#include "ScreenFit.h"
#include "ShortTitle.h"
#include "Skin.h"
#include "StartUp.h"
#include "cSysTray.h"
#include "FeedList.h"
#include "PathHelpers.h"
#include "Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>


namespace tidewell {
namespace {
const QString balloonText = QStringLiteral("has been minimized to the system tray.\r\nClick on the blue 'M' icon (M "
                                           "for Marrowby) to bring the software back.");
const QString countdownDescription = QStringLiteral("Download Minute: the time left until the feed's next "
                                                    "download while scheduling is on, else its interval");
} // namespace

Form1::Form1(Environment environment, QWidget *parent)
    : QWidget(parent), m_messageBox(environment.messageBox), m_programFolder(std::move(environment.programFolder)),
      m_tickMilliseconds(environment.tickMilliseconds), m_secondsPerMinute(environment.secondsPerMinute),
      m_scheduleFromService(environment.scheduleFromService), m_endProgram(std::move(environment.endProgram)),
      m_ownClock(environment.clock ? nullptr : std::make_unique<SystemClock>()),
      m_ownNetwork(environment.network ? nullptr : std::make_unique<Network>()),
      m_ownStore(environment.store ? nullptr : std::make_unique<ScheduleStore>()),
      m_clock(environment.clock ? *environment.clock : *m_ownClock),
      m_network(environment.network ? *environment.network : *m_ownNetwork),
      m_store(environment.store ? *environment.store : *m_ownStore),
      m_driver({m_clock, &m_store,
                environment.makeDownload ? std::move(environment.makeDownload)
                                         : DownloadFactory([this](FeedRow row) {
                                               return std::make_unique<FeedDownload>(
                                                   FeedDownloadContext{dbConn, m_network, &m_store}, row);
                                           }),
                environment.secondsPerMinute, 0, // the window's own tick wakes it (tickAll)
                settings::afterDownloadCommand, &m_afterDownload}),
      m_editor(std::make_unique<Form2>(Form2::Environment{m_messageBox, dbConn, m_programFolder}))
{
    connectDriver();
    m_wakeUp = new QTimer(this);
    connect(m_wakeUp, &QTimer::timeout, this,
            [this] { QMetaObject::invokeMethod(this, &Form1::tickAll, Qt::QueuedConnection); });
    cSysTray1 = environment.tray ? new cSysTray(environment.tray(), this) : new cSysTray(this);
    cSysTray1->setTrayIcon(programIcon());
    connect(cSysTray1, &cSysTray::MouseUp, this, &Form1::cSysTray1_MouseUp);
    buildControls();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    ListView1 = makeReportList(this, ListItems);

    PushButton1 = new QPushButton(QStringLiteral("Add / Remove Feeds"), this);
    PushButton2 = new QPushButton(QStringLiteral("Start Downloading Selected"), this);
    PushButton6 = new QPushButton(QStringLiteral("Turn On"), this);

    Frame1 = new QGroupBox(QStringLiteral("Startup Options"), this);
    Check8 = new QCheckBox(QStringLiteral("Start in system tray"), Frame1);
    Check3 = new QCheckBox(QStringLiteral("Load this software on Windows startup"), Frame1);
    auto *options = new QVBoxLayout(Frame1);
    options->addWidget(Check3);
    options->addWidget(Check8);
    // Unticking the upper box hides the lower one; keeping its place keeps
    // the buttons above from moving under the pointer.
    QSizePolicy keepPlace = Check8->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    Check8->setSizePolicy(keepPlace);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(PushButton1);
    buttons->addWidget(PushButton2);
    buttons->addWidget(PushButton6);

    StatusLine = new ElidedLabel(this);
    TransferProgress = new QProgressBar(this);
    TransferProgress->hide();
    // The row is as high with the bar as without it, so the list and the
    // buttons above do not move when a transfer starts or ends.
    StatusLine->setMinimumHeight(TransferProgress->sizeHint().height());
    auto *status = new QHBoxLayout;
    status->addWidget(StatusLine, 1);
    status->addWidget(TransferProgress);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);
    layout->addWidget(Frame1);
    layout->addLayout(status);
    resize(560, 440);

    describeControls();
    resizeTimers(1);
    m_pointer = new MousePointerSwitch(*this, {PushButton1, PushButton2, PushButton6}, {ListView1, Frame1});
    pressOnEnter(*this, {PushButton1, PushButton2, PushButton6});
    orderTabStops();

    // The check boxes' handlers run whenever their value changes, by the
    // user or by code, as the start-up restore relies on.
    connect(Check3, &QCheckBox::toggled, this, [this] { Check3_Click(); });
    connect(Check8, &QCheckBox::toggled, this, [this] { Check8_Click(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
}

void Form1::describeControls()
{
    // What a screen reader says besides a control's caption.
    ListView1->setAccessibleName(QStringLiteral("Feeds"));
    ListView1->setAccessibleDescription(QStringLiteral("Every feed with its download countdown and whether it is "
                                                       "active; a row's tooltip tells its last and next download."));
    PushButton1->setAccessibleDescription(QStringLiteral("Opens the editor in which feeds are added, changed and "
                                                         "removed."));
    PushButton2->setAccessibleDescription(QStringLiteral("Downloads the selected feed's current episode now."));
    PushButton6->setAccessibleDescription(QStringLiteral("Switches the scheduled downloads of every active feed on "
                                                         "or off."));
    Check8->setAccessibleDescription(QStringLiteral("Starts the program hidden in the notification area."));
    Check3->setAccessibleDescription(QStringLiteral("Starts the program with the desktop session."));
    StatusLine->setAccessibleDescription(QStringLiteral("The download in progress, the last scheduled download, or "
                                                        "a failure until its feed next succeeds."));
    TransferProgress->setAccessibleName(QStringLiteral("Download progress"));
    TransferProgress->setAccessibleDescription(QStringLiteral("How much of the episode being downloaded has "
                                                              "arrived."));
}

void Form1::orderTabStops()
{
    // As the eye reads the window: the list, the buttons left to right, then
    // the options top to bottom.
    QWidget *const order[] = {ListView1, PushButton1, PushButton2, PushButton6, Check3, Check8};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

QString Form1::resourcePath(const QString &fileName) const
{
    return m_programFolder + QLatin1Char('/') + fileName;
}

void Form1::Form_Load()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    onError(100, [&] { ApplySkin(*this, SkinFramework1, m_programFolder); });
    onError(104, [&] {
        setWindowTitle(productName);
        setWindowIcon(programIcon());
        SetProgramTitle();
    });
    if (onError.test(106, [&] { return FileExists(resourcePath(cursorFileName)); }))
        onError(108, [&] { m_pointer->setMouseIcon(LoadPicture(resourcePath(cursorFileName))); });
    isLoading = true;     // 128
    newDatabase = false;  // 130
    const datafile::Preparation prepared = datafile::prepare(m_programFolder); // 132 to 148
    for (const auto &[step, error] : prepared.failures)
        onError.report(formLoadLine(step), error);
    newDatabase = prepared.newDatabase;
    // 150: the connection object lives with the window.
    onError(152, [&] { dbConn.open(datafile::dataFilePath()); });
    addColumns(onError);
    onError(166, [&] {
        cSysTray1->setTrayTip(productName);
        setWindowIcon(programIcon());
    });
    onError(168, [&] { cSysTray1->setInTray(true); });
    onError(170, [&] { Check3->setChecked(settings::read(settings::windowsStartup, settings::off) == settings::on); });
    onError(172, [&] { Check8->setChecked(settings::read(settings::minimized, settings::off) == settings::on); });
    if (onError.test(174, [&] { return Check8->isChecked(); }))
        onError(176, [&] { setWindowState(windowState() | Qt::WindowMinimized); });
    onError(178, [&] { listPodCast(); });
    restoreSchedulingState(onError);
    // The rows' details wait for the scheduling state: switched on, it tells
    // them itself, and asking the store twice for every feed is much of a
    // long list's start.
    if (!schedulingOn())
        showRowDetails();
    isLoading = false; // 194
}

void Form1::showAfterLoad()
{
    fitOnScreen(*this, Placement::ByWindowManager);
    if (!(windowState() & Qt::WindowMinimized)) {
        show();
        return;
    }
    // A start in the notification area never maps the window: one mapped
    // minimised and hidden at once leaves the window manager a minimised
    // state that it hands back when the icon brings the window back.
    if (cSysTray1->available())
        QMetaObject::invokeMethod(this, &Form1::Form_Resize, Qt::QueuedConnection);
    else
        showMinimized();
}

void Form1::addColumns(ErrorTrap &onError)
{
    addReportColumns(onError, *ListView1, *ListItems,
                     {{QStringLiteral("Podcast Name"), 4500},
                      {QStringLiteral("Download Minute"), 1800},
                      {QStringLiteral("Active"), 1000}},
                     154);
    // The designed width cuts a count of more than a day short.
    widenColumnFor(*ListView1, CountdownColumn, FormatCountdown(366 * 86400 - 1));
}

void Form1::restoreSchedulingState(ErrorTrap &onError)
{
    QString state;
    onError(180, [&] { state = settings::read(settings::startStopState, settings::on); });
    if (onError.test(182, [&] { return state == settings::off; })) {
        onError(184, [&] { PushButton6->setText(QStringLiteral("Turn On")); });
        onError(186, [&] { Timer1.at(0)->setInterval(0); });
        onError(188, [&] { Timer1.at(0)->stop(); });
    } else if (onError.test(190, [&] { return state == settings::on; })) {
        onError(192, [&] { PushButton6_Click(); });
    }
}

void Form1::listPodCast()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("listPodCast"));
    const FeedRow selected = ListView1->currentIndex().isValid() ? feedRowOf(ListView1->currentIndex().row()) : 0;
    const FeedListReading list = ReadFeedList(dbConn, newDatabase); // 100 to 106, 110 to 120
    for (const auto &[step, error] : list.failures)
        onError.report(listPodCastLine(step), error);
    onError(108, [&] { ListItems->removeRows(0, ListItems->rowCount()); });
    m_listRowOf.clear();
    for (const FeedListRow &row : list.rows) {
        auto *name = new QStandardItem(row.name);
        if (row.minute)
            name->setData(*row.minute, MinuteRole);
        name->setData(row.row, RowRole);
        m_listRowOf[row.row] = ListItems->rowCount();
        auto *countdown = new QStandardItem(row.countdown);
        countdown->setData(countdownDescription, Qt::AccessibleDescriptionRole);
        ListItems->appendRow({name, countdown, new QStandardItem(row.active)});
    }
    reselect(selected);
    // A list that could not be read at all is no reason to forget the
    // schedule: the driver goes on with the feeds it had.
    if (!list.unreadable())
        m_driver.setFeeds(ScheduledFeeds(list.rows, m_secondsPerMinute));
    if (schedulingOn())
        rebindTimers();
    else if (!isLoading)
        showRowDetails();
}

void Form1::reselect(FeedRow feed)
{
    if (ListItems->rowCount() == 0)
        return;
    ListView1->setCurrentIndex(ListItems->index(std::max(listRowOf(feed), 0), NameColumn));
}

void Form1::PushButton1_Click()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("PushButton1_Click"));
    onError(100, [&] { m_editor->Show(this); });
    onError(102, [&] { listPodCast(); });
}

int Form1::rowCount() const
{
    return ListItems->rowCount();
}

QString Form1::itemText(int row, Column column) const
{
    const QStandardItem *item = ListItems->item(row, column);
    return item ? item->text() : QString();
}

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Hiding the window from inside its own state change confuses some
    // window managers; the minimise handling runs right after it instead.
    // While loading, the window is not shown yet and the start-up's own
    // minimising is handled when it is (showAfterLoad): run from the start-up
    // sequence's pending events, the handling would hide nothing and wait
    // for the balloon before the window existed.
    if (event->type() == QEvent::WindowStateChange && !isLoading)
        QMetaObject::invokeMethod(this, &Form1::Form_Resize, Qt::QueuedConnection);
}

void Form1::Form_Resize()
{
    if (!(windowState() & Qt::WindowMinimized) || hiddenInTray)
        return;
    // Without a notification area a hidden window could never come back, so
    // it stays minimised in the task bar.
    if (!cSysTray1->available())
        return;
    // The state of a window that has been on screen goes back to normal when
    // the icon brings it back: changing it on the hidden window would map an
    // empty frame on X11.
    hide();
    if (!m_everShown)
        leaveMinimisedUnseen();
    hiddenInTray = true;
    cSysTray1->ShowBalloon(balloonText, productName, 5, true);
}

void Form1::leaveMinimisedUnseen()
{
    // Qt on X11 maps a minimised window the moment it leaves that state, a
    // moment before it tells the window manager it is no longer minimised;
    // the manager may then minimise it again, and the first click on the
    // icon seems to do nothing. A window never shown is given a new native
    // window instead, one that was never minimised.
    destroy();
    setWindowState(windowState() & ~Qt::WindowMinimized);
}

void Form1::showEvent(QShowEvent *event)
{
    m_everShown = true;
    QWidget::showEvent(event);
}

void Form1::cSysTray1_MouseUp(int, int)
{
    // Windows in view keep their size and place; the click only brings back
    // what is away: the window, or the editor or a message minimised on its
    // own, which leaves the window in view but blocked.
    if (anyWindowAway())
        bringBack();
    hiddenInTray = false;
}

bool Form1::anyWindowAway() const
{
    if (isHidden() || (windowState() & Qt::WindowMinimized))
        return true;
    const QList<QWidget *> owned = ownedWindows();
    return std::any_of(owned.begin(), owned.end(),
                       [](const QWidget *window) { return window->windowState() & Qt::WindowMinimized; });
}

void Form1::comeForward()
{
    bringBack();
    hiddenInTray = false;
}

void Form1::bringBack()
{
    if (isHidden() || (windowState() & Qt::WindowMinimized))
        showNormal();
    raise();
    // An editor or a message box left open over the window went away with
    // it; it comes back on top, or the window would wait for a dialog no one
    // can see.
    const QList<QWidget *> owned = ownedWindows();
    for (QWidget *window : owned) {
        if (window->windowState() & Qt::WindowMinimized)
            window->showNormal();
        window->raise();
    }
    QWidget *front = QApplication::activeModalWidget();
    if (!owned.contains(front))
        front = this;
    front->raise();
    front->activateWindow();
}

QList<QWidget *> Form1::ownedWindows() const
{
    QList<QWidget *> owned;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isVisible())
            continue;
        for (const QWidget *owner = window->parentWidget(); owner; owner = owner->parentWidget()) {
            if (owner == this) {
                owned << window;
                break;
            }
        }
    }
    return owned;
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_QueryUnload();
    event->accept();
    Form_Unload();
}

void Form1::Form_QueryUnload()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("Form_QueryUnload"));
    onError(100, [&] { cSysTray1->setInTray(false); });
    // A transfer still running is abandoned; its partial file goes with it
    // and the episode it was replacing stays. What the program's end cuts is
    // no outcome: those feeds stay due for the next start.
    m_driver.shutDown();
    m_network.abortAll();
    m_store.flush();
    onError(102, [] { DoEvents(); });
    onError(104, [] { DoEvents(); });
    if (onError.test(106, [&] { return dbConn.isOpen(); }))
        onError(106, [&] { dbConn.close(); });
    onError(108, [] { DoEvents(); });
    onError(110, [] { DoEvents(); });
}

void Form1::Form_Unload()
{
    m_wakeUp->stop();
    for (const auto &timer : Timer1)
        timer->stop();
    if (m_endProgram)
        m_endProgram();
    else
        QCoreApplication::exit(0);
}

void Form1::Check3_Click()
{
    if (isLoading)
        return;
    if (Check3->isChecked()) {
        Check8->setVisible(true);
        settings::write(settings::windowsStartup, settings::on);
        RegisterStartup();
    } else {
        Check8->setChecked(false); // runs Check8_Click when it was ticked
        Check8->setVisible(false);
        settings::write(settings::windowsStartup, settings::off);
        UnregisterStartup();
    }
}

void Form1::Check8_Click()
{
    settings::write(settings::minimized, Check8->isChecked() ? settings::on : settings::off);
}

} // namespace tidewell
