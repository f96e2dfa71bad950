// The main window's scheduling: the "Turn On"/"Turn Off" button, the
// per-feed countdown timers and the download jobs they start. The counting
// itself is the countdown engine's, which the headless scheduler shares.
#include "Form1.h"

#include "DoEvents.h"
#include "FormatCountdown.h"
#include "Network.h"
#include "ScheduleStore.h"
#include "Settings.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTime>
#include <QTimer>
#include <QTreeView>

namespace tidewell {
namespace {
const QString turnOn = QStringLiteral("Turn On");
const QString turnOff = QStringLiteral("Turn Off");

QString localTime(qint64 ms, QLocale::FormatType format = QLocale::ShortFormat)
{
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms), format);
}
} // namespace

bool Form1::schedulingOn() const
{
    return PushButton6->text() == turnOff;
}

qint32 Form1::IntervalSeconds(int index) const
{
    return index >= 0 && index < m_engine.size() ? m_engine.feed(index).intervalSeconds : 0;
}

qint32 Form1::ElapsedSeconds(int index)
{
    return index >= 0 && index < m_engine.size() ? m_engine.elapsedSeconds(index) : 0;
}

void Form1::PushButton6_Click()
{
    if (m_switchingScheduling)
        return; // a second click while the first is still setting up
    m_switchingScheduling = true;
    if (PushButton6->text() == turnOn)
        turnSchedulingOn();
    else if (PushButton6->text() == turnOff)
        turnSchedulingOff();
    m_switchingScheduling = false;
}

ScheduledFeed Form1::feedOfRow(int row) const
{
    ScheduledFeed feed;
    feed.name = itemText(row, NameColumn);
    const QVariant minute = ListItems->item(row, NameColumn)->data(MinuteRole);
    // The interval comes from the stored minute, never from the countdown
    // text, which only reads back right below one hour.
    feed.intervalSeconds = minute.isValid() ? minute.toInt() * 60 : 0;
    feed.active = itemText(row, ActiveColumn) == QStringLiteral("Yes");
    return feed;
}

std::vector<ScheduledFeed> Form1::feedsOfList() const
{
    std::vector<ScheduledFeed> feeds;
    for (int row = 0; row < rowCount(); ++row)
        feeds.push_back(feedOfRow(row));
    return feeds;
}

void Form1::turnSchedulingOn()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    int i = 0;
    onError.setExtraLine([&] {
        return QStringLiteral("ListView1.ListItems.Item(i).SubItems(1): ") + itemText(i - 1, CountdownColumn);
    });
    onError(0, [&] { PushButton6->setText(turnOff); });
    // At the program's start every feed goes on from where its count stood
    // when the program last ran; a click starts every count from zero.
    const auto how = isLoading ? CountdownEngine::Start::Resume : CountdownEngine::Start::FromZero;
    onError(0, [&] { m_engine.start(feedsOfList(), how); });
    const int rows = std::min(rowCount(), m_engine.size());
    const int binding = m_binding;
    for (i = 1; i <= rows; ++i) {
        onError(0, [] { DoEvents(); });
        if (binding != m_binding)
            break; // the list was refilled meanwhile and every timer rebound
        onError(0, [&] {
            resizeTimers(static_cast<std::size_t>(i));
            Timer1.at(static_cast<std::size_t>(i - 1))->setInterval(m_tickMilliseconds);
        });
        onError(0, [&] {
            if (!m_engine.isDownloading(i - 1))
                Timer1.at(static_cast<std::size_t>(i - 1))->start();
        });
    }
    onError(0, [] { settings::write(settings::startStopState, settings::on); });
    m_wakeUp->start(m_tickMilliseconds);
    showRowDetails();
}

void Form1::turnSchedulingOff()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    onError.setExtraLine([&] { return QStringLiteral("ListView1.ListItems.Item(i).SubItems(1): "); });
    onError(0, [&] { PushButton6->setText(turnOn); });
    onError(0, [&] {
        Timer1.at(0)->setInterval(0);
        Timer1.at(0)->stop();
    });
    onError(0, [&] { resizeTimers(1); });
    m_wakeUp->stop();
    m_engine.stop();
    ++m_binding;
    onError(0, [&] { listPodCast(); });
    onError(0, [] { settings::write(settings::startStopState, settings::off); });
}

void Form1::resizeTimers(std::size_t count)
{
    count = std::max<std::size_t>(count, 1);
    Timer1.resize(count);
    for (auto &element : Timer1) {
        if (!element)
            element = std::make_unique<TimerElement>();
    }
}

void Form1::rebindTimers()
{
    // The list was filled again while scheduling is on. Each feed that is
    // still there, unchanged, keeps its count; a new or changed feed starts
    // from zero; a feed that is gone loses its timer.
    m_engine.rebind(feedsOfList());
    ++m_binding;
    const int rows = m_engine.size();
    resizeTimers(static_cast<std::size_t>(rows));
    if (rows == 0)
        Timer1.front()->stop();
    for (int row = 0; row < rows; ++row) {
        TimerElement &element = *Timer1[static_cast<std::size_t>(row)];
        element.setInterval(m_tickMilliseconds);
        if (m_engine.isDownloading(row)) {
            element.stop();
            setCountdownText(row, FormatCountdown(0));
            continue;
        }
        element.start();
        const qint32 elapsed = m_engine.elapsedSeconds(row);
        if (m_engine.feed(row).active && elapsed > 0)
            setCountdownText(row, FormatCountdown(m_engine.feed(row).intervalSeconds - elapsed));
    }
    showRowDetails();
}

void Form1::tickAll()
{
    // A row's tick may wait for its download; the next wake-up then ticks
    // the other rows from inside that wait, so none of them is held up.
    for (std::size_t index = 0; index < Timer1.size(); ++index) {
        const TimerElement &element = *Timer1[index];
        if (element.isActive() && element.interval() > 0)
            Timer1_Timer(static_cast<int>(index));
    }
}

int Form1::timerIndexOf(const QString &feed) const
{
    for (int index = 0; index < m_engine.size() && index < rowCount(); ++index) {
        if (m_engine.feed(index).name == feed)
            return index;
    }
    return -1;
}

void Form1::setCountdownText(int row, const QString &text)
{
    QStandardItem *item = ListItems->item(row, CountdownColumn);
    if (!item)
        throw RuntimeError(35600, QStringLiteral("Index out of bounds"));
    if (item->text() != text)
        item->setText(text);
}

void Form1::Timer1_Timer(int index)
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("Timer1"));
    // 100: nothing to count without rows, or for an element whose row is gone.
    if (rowCount() == 0 || !m_engine.isCounting() || index < 0 || index >= m_engine.size() || index >= rowCount())
        return;
    if (!onError.test(102, [&] { return itemText(index, ActiveColumn) == QStringLiteral("Yes"); }))
        return;
    // Pending events may refill the list at 114 and 120, so the element is
    // found again by its feed after each of them.
    const QString feed = m_engine.feed(index).name;
    qint32 target = 0;
    qint32 elapsed = 0;
    onError(104, [&] { target = m_engine.feed(index).intervalSeconds; });
    // 106 to 110: the count follows the clock, so a late or missed tick, or
    // time asleep, costs the row nothing.
    onError(106, [&] { elapsed = m_engine.elapsedSeconds(index); });
    onError(112, [&] { setCountdownText(index, FormatCountdown(target - elapsed)); });
    onError(114, [] { DoEvents(); });
    // 116: due once the interval has passed, which a clock may jump past.
    index = timerIndexOf(feed);
    if (index < 0 || !m_engine.isDue(index))
        return;
    onError(118, [&] { setCountdownText(index, FormatCountdown(0)); });
    onError(120, [] { DoEvents(); });
    index = timerIndexOf(feed);
    if (index < 0 || !m_engine.isDue(index))
        return; // another tick started this download meanwhile
    onError(122, [&] { Timer1.at(static_cast<std::size_t>(index))->stop(); });
    onError(124, [&] { Timer1.at(static_cast<std::size_t>(index))->setInterval(0); });
    const CountdownEngine::Token token = m_engine.downloadStarted(index);
    FeedDownloadOutcome outcome{FeedDownloadOutcome::TransferFailed, {}, {}};
    onError(126, [&] {
        try {
            outcome = runDownload(feed, nullptr);
        } catch (const RuntimeError &error) {
            outcome.reason = error.description();
            throw;
        }
    });
    recordOutcome(feed, outcome, true, token);
    // Scheduling may have been turned off, or the feed removed, meanwhile;
    // then there is no timer to start again.
    index = timerIndexOf(feed);
    if (index < 0 || !schedulingOn())
        return;
    onError(128, [&] { Timer1.at(static_cast<std::size_t>(index))->setInterval(m_tickMilliseconds); });
    onError(130, [&] { Timer1.at(static_cast<std::size_t>(index))->start(); });
    onError(132, [&] { m_engine.restartCount(index); });
    showRowDetails();
}

void Form1::DownloadFeed(int row)
{
    if (row < 1 || row > rowCount())
        throw RuntimeError(35600, QStringLiteral("Index out of bounds"));
    const QString name = itemText(row - 1, NameColumn);
    recordOutcome(name, runDownload(name, nullptr), true);
}

FeedDownloadOutcome Form1::runDownload(const QString &name, ErrorTrap *onError)
{
    ++m_transfersRunning;
    const auto progress = [this, name](qint64 received, qint64 total) { showTransfer(name, received, total); };
    try {
        const FeedDownloadOutcome outcome =
            DownloadFeedEpisode({dbConn, m_network, &m_store}, name, onError, progress);
        endTransfer();
        return outcome;
    } catch (...) {
        endTransfer();
        throw;
    }
}

void Form1::PushButton2_Click()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    if (!onError.test(0, [&] { return rowCount() > 0; }))
        return;
    QString name;
    onError(0, [&] {
        const QModelIndex current = ListView1->currentIndex();
        if (!current.isValid())
            throw RuntimeError(91, QStringLiteral("Object variable or With block variable not set"));
        name = itemText(current.row(), NameColumn);
    });
    // One manual download at a time: a second click would only race the
    // first for the same file.
    PushButton2->setEnabled(false);
    const FeedDownloadOutcome outcome = runDownload(name, &onError);
    PushButton2->setEnabled(true);
    recordOutcome(name, outcome, false);
    onError(0, [&] { m_messageBox.show(FeedDownloadMessage(outcome)); });
}

void Form1::showTransfer(const QString &feed, qint64 received, qint64 total)
{
    const QLocale locale;
    QString text = QStringLiteral("Downloading %1: %2").arg(feed, locale.formattedDataSize(received));
    if (total > 0) {
        text += QStringLiteral(" of ") + locale.formattedDataSize(total);
        TransferProgress->setRange(0, 1000);
        TransferProgress->setValue(static_cast<int>(std::min<qint64>(1000, received * 1000 / total)));
    } else {
        TransferProgress->setRange(0, 0); // size unknown: a busy bar
    }
    StatusLine->setText(text);
    TransferProgress->show();
}

void Form1::endTransfer()
{
    if (--m_transfersRunning > 0)
        return;
    TransferProgress->hide();
    showStatus();
}

void Form1::recordOutcome(const QString &feed, const FeedDownloadOutcome &outcome, bool scheduled,
                          CountdownEngine::Token token)
{
    if (m_closing)
        return;
    const qint64 now = m_clock.nowMs();
    const LastDownload last{now, outcome.succeeded(), FeedDownloadReport(outcome)};
    if (token != 0)
        m_engine.downloadEnded(token, last);
    else
        m_engine.recordOutcome(feed, last);
    const QString time = localTime(now);
    if (outcome.succeeded()) {
        m_failingFeeds.removeAll(feed);
        m_failures.erase(feed);
        if (scheduled)
            m_lastScheduledOutcome = QStringLiteral("Last scheduled download: %1 downloaded at %2.").arg(feed, time);
    } else {
        // A failure stays in view until the feed next succeeds, whatever
        // succeeds meanwhile.
        m_failingFeeds.removeAll(feed);
        m_failingFeeds << feed;
        m_failures[feed] = QStringLiteral("%1 failed at %2: %3").arg(feed, time, last.report);
    }
    showRowDetails();
    showStatus();
}

void Form1::showStatus()
{
    if (m_transfersRunning > 0)
        return;
    QString text = m_lastScheduledOutcome;
    if (!m_failingFeeds.isEmpty()) {
        text = m_failures[m_failingFeeds.last()];
        if (m_failingFeeds.size() > 1)
            text += QStringLiteral(" (%1 feeds are failing; see their tooltips)").arg(m_failingFeeds.size());
    }
    StatusLine->setText(text);
}

void Form1::showRowDetails()
{
    // Each row's tooltip: how its last download went, and when the next is.
    for (int row = 0; row < rowCount(); ++row) {
        QStringList lines;
        const int index = row < m_engine.size() && m_engine.feed(row).name == itemText(row, NameColumn) ? row : -1;
        std::optional<LastDownload> last = index >= 0 ? m_engine.lastDownload(index) : std::nullopt;
        if (!last && index < 0) {
            if (const auto stored = m_store.lastDownload(itemText(row, NameColumn)))
                last = LastDownload{stored->whenMs, stored->succeeded, stored->report};
        }
        if (last)
            lines << QStringLiteral("Last download: %1, %2").arg(localTime(last->whenMs), last->report);
        else
            lines << QStringLiteral("Last download: none yet");
        if (const std::optional<qint64> due = index >= 0 ? m_engine.nextDueMs(index) : std::nullopt)
            lines << QStringLiteral("Next download: %1").arg(localTime(*due));
        else if (index >= 0 && m_engine.isDownloading(index))
            lines << QStringLiteral("Downloading now");
        const QString tip = lines.join(QLatin1Char('\n'));
        for (int column = NameColumn; column <= ActiveColumn; ++column) {
            if (QStandardItem *item = ListItems->item(row, column); item && item->toolTip() != tip)
                item->setToolTip(tip);
        }
    }
}

} // namespace tidewell
