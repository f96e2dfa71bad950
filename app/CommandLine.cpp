#include "CommandLine.h"

#include "AfterDownloadCommand.h"
#include "BuildConfig.h"
#include "ConsoleMessageBox.h"
#include "DataFile.h"
#include "CountdownEngine.h"
#include "ErrorTrap.h"
#include "FeedDownloadJob.h"
#include "FeedList.h"
#include "FeedReader.h"
#include "FeedStore.h"
#include "HeadlessService.h"
#include "Network.h"
#include "OpmlExport.h"
#include "OpmlImport.h"
#include "PathHelpers.h"
#include "ReportLines.h"
#include "RunningCopy.h"
#include "RuntimeError.h"
#include "ScheduleDriver.h"
#include "ScheduleStore.h"
#include "SchedulerSignals.h"
#include "Settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace tidewell {
namespace {

// 3: a second --headless beside a first, which a service manager must not
// restart (it would only refuse again).
enum ExitStatus { Success = 0, Failed = 1, Usage = 2, AnotherService = 3 };

void out(const QString &line)
{
    std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

void err(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

// The feed database as the window opens it, made on a first run the same way.
class Database
{
public:
    Database(MessageBox &reports, const QString &programFolder)
    {
        ErrorTrap onError(reports, QStringLiteral("CommandLine"), QStringLiteral("Form_Load"));
        const datafile::Preparation prepared = datafile::prepare(programFolder);
        for (const auto &[step, error] : prepared.failures)
            onError.report(formLoadLine(step), error);
        newDatabase = prepared.newDatabase;
        try {
            feeds.open(datafile::dataFilePath());
        } catch (const RuntimeError &error) {
            err(QStringLiteral("Cannot open the feed database %1: %2").arg(datafile::dataFilePath(), error.description()));
        }
    }

    FeedStore feeds;
    bool newDatabase = false;
};

// The feed list as the window reads it, each step that fails reported under
// `object`'s name.
FeedListReading readFeedList(Database &db, MessageBox &reports, const QString &object)
{
    ErrorTrap onError(reports, object, QStringLiteral("listPodCast"));
    FeedListReading list = ReadFeedList(db.feeds, db.newDatabase);
    for (const auto &[step, error] : list.failures)
        onError.report(listPodCastLine(step), error);
    return list;
}

int listFeeds(Database &db, ConsoleMessageBox &reports)
{
    const FeedListReading list = readFeedList(db, reports, QStringLiteral("Form1"));
    for (const FeedListRow &row : list.rows)
        out(row.name + QLatin1Char('\t') + row.countdown + QLatin1Char('\t') + row.active);
    return list.failures.empty() ? Success : Failed;
}

// A time for people and for scripts alike: ISO 8601, local time.
QString isoTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(Qt::ISODate);
}

void warnAboutStore(const ScheduleStore &store)
{
    if (!store.isOpen())
        err(QStringLiteral("The schedule cannot be remembered (%1); every count starts from zero and every episode "
                           "is fetched in full.")
                .arg(store.error()));
}

int showStatus(Database &db, ConsoleMessageBox &reports)
{
    const FeedListReading list = readFeedList(db, reports, QStringLiteral("Form1"));
    // A look only: whatever scheduler runs keeps the store.
    ScheduleStore store(ScheduleStore::defaultPath(), ScheduleStore::Mode::ReadOnly);
    SystemClock clock;
    CountdownEngine engine(clock, &store, SecondsPerMinute());
    engine.setFeeds(ScheduledFeeds(list.rows, SecondsPerMinute()));
    const QString none = QStringLiteral("-");
    for (int index = 0; index < engine.size(); ++index) {
        const ScheduledFeed &feed = engine.feed(index);
        const std::optional<qint64> next = engine.nextTryMs(index);
        const std::optional<LastDownload> &last = engine.lastDownload(index);
        const std::optional<Retry> &retry = engine.retry(index);
        out(QStringList{feed.name, feed.active ? QStringLiteral("Yes") : QStringLiteral("No"),
                        next ? isoTime(*next) : none, last ? isoTime(last->whenMs) : none, last ? last->report() : none,
                        retry && next ? RetryText(*retry, clock.nowMs()) : none}
                .join(QLatin1Char('\t')));
    }
    return list.failures.empty() ? Success : Failed;
}

int downloadFeed(Database &db, ConsoleMessageBox &reports, const QString &name)
{
    const FeedListReading list = readFeedList(db, reports, QStringLiteral("Form1"));
    if (list.unreadable())
        return Failed;
    const std::vector<FeedListRow> &rows = list.rows;
    // Names compare without regard to letter case, as the feed list's do;
    // the outcome is kept under the feed's own row, whatever was typed.
    const auto feed = std::find_if(rows.begin(), rows.end(), [&](const FeedListRow &row) {
        return row.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (feed == rows.end()) {
        err(QStringLiteral("No feed is named \"%1\".").arg(name));
        return Usage;
    }
    Network network;
    SystemClock clock;
    ScheduleStore store;
    warnAboutStore(store);
    AfterDownloadCommand afterDownload;
    ScheduleDriver driver({clock, &store,
                           [&](FeedRow row) {
                               return std::make_unique<FeedDownload>(
                                   FeedDownloadContext{db.feeds, network, &store}, row);
                           },
                           SecondsPerMinute(), 0, settings::afterDownloadCommand, &afterDownload});
    driver.setFeeds(ScheduledFeeds(rows, SecondsPerMinute()));
    std::optional<FeedDownloadOutcome> outcome;
    QEventLoop loop;
    QObject::connect(&driver, &ScheduleDriver::ended, &loop, [&](const DownloadEnd &end) {
        outcome = end.outcome;
        loop.quit();
    });
    if (driver.downloadNow(feed->row) == ScheduleDriver::Manual::Unknown)
        outcome = FeedDownloadOutcome{}; // nothing to download it from
    if (!outcome)
        loop.exec();
    ErrorTrap onError(reports, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    for (const RuntimeError &error : outcome->lookUpFailures)
        onError.report(0, error);
    // The button's message first, as a script may test it; then the reason.
    out(FeedDownloadMessage(*outcome));
    if (outcome->failure)
        err(outcome->failure.text());
    // A new episode: the user's command runs before the program ends.
    if (outcome->kind == FeedDownloadOutcome::Downloaded && !settings::afterDownloadCommand().trimmed().isEmpty()) {
        QString failed;
        QObject::connect(&driver, &ScheduleDriver::reportAmended, &loop,
                         [&](FeedRow, const QString &, const QString &report) { failed = report; });
        QObject::connect(&driver, &ScheduleDriver::afterDownloadDone, &loop, &QEventLoop::quit);
        loop.exec();
        if (!failed.isEmpty())
            err(failed);
    }
    store.flush();
    return outcome->succeeded() ? Success : Failed;
}

int importOpml(Database &db, const OpmlReading &reading)
{
    try {
        for (const QString &line : ImportFeeds(db.feeds, reading.feeds, GetDesktopPath()))
            out(line);
    } catch (const RuntimeError &error) {
        err(QStringLiteral("Nothing was added: ") + error.description());
        return Failed;
    }
    // Whichever copy schedules (the window or the service) reads the list again.
    if (tellSchedulerToReload(datafile::dataFolder()))
        out(QStringLiteral("The running scheduler has the new feeds."));
    return Success;
}

int exportOpml(Database &db)
{
    try {
        const OpmlExport opml = ExportOpml(db.feeds);
        for (const QString &change : opml.changes)
            err(change);
        const QByteArray &document = opml.document;
        if (std::fwrite(document.constData(), 1, static_cast<size_t>(document.size()), stdout)
                == size_t(document.size())
            && std::fflush(stdout) == 0)
            return Success;
        err(QStringLiteral("Cannot write the OPML to standard output."));
        return Failed;
    } catch (const RuntimeError &error) {
        err(error.description());
        return Failed;
    }
}

// A command that cannot be split is refused before it is kept, rather than
// fail after every download.
int setAfterDownload(const QString &commandLine)
{
    if (TrimBlanks(commandLine).isEmpty()) {
        settings::write(settings::afterDownload, QString());
        out(QStringLiteral("No command runs after a new episode any more."));
        return Success;
    }
    QString error;
    SplitCommandLine(commandLine, &error);
    if (!error.isEmpty()) {
        err(QStringLiteral("The command cannot be read: %1. Nothing was changed.").arg(error));
        return Usage;
    }
    settings::write(settings::afterDownload, commandLine);
    out(QStringLiteral("After each new episode this command runs: ") + commandLine);
    return Success;
}

int checkFeed(const QString &url)
{
    Network network;
    FeedReader reader(network);
    int type = 0;
    reader.ReadFeed(url, QString(), QString(), type, false);
    const auto items = reader.FeedItems();
    const qsizetype count = items ? static_cast<qsizetype>(items->size()) : 0;
    out(QStringLiteral("Type: ") + reader.FeedTypeString());
    QString status = QStringLiteral("HTTP status: %1").arg(reader.LastHTTPStatus());
    if (!reader.LastHTTPStatusText().isEmpty())
        status += QLatin1Char(' ') + reader.LastHTTPStatusText();
    out(status);
    out(QStringLiteral("Items: %1").arg(count));
    // In words only: no error number means anything here.
    if (!reader.unreadableReason().isEmpty())
        out(QStringLiteral("Error: ") + reader.unreadableReason());
    else if (reader.lastError())
        out(QStringLiteral("Error: ") + reader.lastError().detail);
    if (count == 0)
        return Failed;
    out(QStringLiteral("First item URL: ") + items->front().url());
    out(QStringLiteral("First item title: ") + items->front().Title());
    return items->front().url().isEmpty() ? Failed : Success;
}

int runHeadless(Database &db, ConsoleMessageBox &reports)
{
    const int signals = schedulersignals::readEnd();
    if (signals < 0) {
        err(QStringLiteral("Cannot set up signal handling."));
        return Failed;
    }
    const QString dataFolder = datafile::dataFolder();
    RunningCopy running(dataFolder);
    switch (running.claimForService()) {
    case RunningCopy::Holder::None:
        break;
    case RunningCopy::Holder::NoLock:
        err(noLockMessage(running));
        return Failed;
    case RunningCopy::Holder::Window:
    case RunningCopy::Holder::Headless:
        err(QStringLiteral("Another headless scheduler (process %1) already serves these feeds; this one does not "
                           "start.")
                .arg(running.holderProcess()));
        return AnotherService;
    }
    HeadlessService service({db.feeds, [&] { return readFeedList(db, reports, QStringLiteral("Headless")); },
                             dataFolder, SecondsPerMinute()},
                            running,
                            [](const QString &feed, const QString &outcome) {
                                if (schedulersignals::stopAsked())
                                    return;
                                out(QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char(' ') + feed
                                    + QStringLiteral(": ") + outcome);
                            });
    QObject::connect(&service, &HeadlessService::said, &service, [](const QString &line) { err(line); });
    service.start();

    // A signal that came during start-up waits here, in the pipe.
    QSocketNotifier notifier(signals, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [&] {
        char number = 0;
        if (::read(signals, &number, 1) != 1)
            return;
        if (number == SIGHUP) {
            if (!service.isScheduling())
                err(QStringLiteral("The window schedules the feeds now; the list is read when the schedule comes "
                                   "back."));
            else if (service.reload())
                err(QStringLiteral("Feed list read again: %1 feeds.").arg(service.feedCount()));
            else
                err(QStringLiteral("The feed list could not be read again; the %1 feeds and their counts stay as "
                                   "they were.")
                        .arg(service.feedCount()));
            return;
        }
        service.stop();
        QCoreApplication::exit(Success);
    });
    schedulersignals::eventLoopRuns();
    return QCoreApplication::exec();
}

} // namespace

bool wantsCommandLine(const QStringList &arguments)
{
    // The window's own toolkit options start with a single dash (-platform,
    // -style); everything of ours is a double-dash option or -h/-v.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.startsWith(QStringLiteral("--")) || argument == QStringLiteral("-h")
            || argument == QStringLiteral("-v") || argument == QStringLiteral("-?"))
            return true;
    }
    return false;
}

int runCommandLine(const QStringList &arguments, const QString &programFolder)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Downloads podcast episodes on a schedule. Without options it "
                                                    "opens its window; these options work without a display."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("Print the feeds as the main list shows them: name, download "
                                                 "interval and Active, tab-separated."));
    const QCommandLineOption download(QStringLiteral("download"),
                                      QStringLiteral("Download the current episode of the feed named NAME now."),
                                      QStringLiteral("NAME"));
    const QCommandLineOption checkFeedOption(QStringLiteral("check-feed"),
                                             QStringLiteral("Read the feed at URL and print what was found."),
                                             QStringLiteral("URL"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Download every active feed on its schedule without a window, "
                                                     "until SIGINT or SIGTERM."));
    const QCommandLineOption status(QStringLiteral("status"),
                                    QStringLiteral("Print each feed's schedule: name, Active, next download, last "
                                                   "download and its outcome, tab-separated."));
    const QCommandLineOption importOpmlOption(QStringLiteral("import-opml"),
                                              QStringLiteral("Add the feeds of the OPML file FILE that are not in "
                                                             "the list yet."),
                                              QStringLiteral("FILE"));
    const QCommandLineOption exportOpmlOption(QStringLiteral("export-opml"),
                                              QStringLiteral("Write the feed list as OPML to standard output."));
    const QCommandLineOption afterDownload(QStringLiteral("after-download"),
                                           QStringLiteral("Run COMMAND after each new episode (%f the episode's "
                                                          "file, %n the feed, %u its URL); \"\" runs none."),
                                           QStringLiteral("COMMAND"));
    parser.addOptions({list, download, checkFeedOption, headless, status, importOpmlOption, exportOpmlOption,
                       afterDownload});

    if (!parser.parse(arguments)) {
        err(parser.errorText());
        return Usage;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return Success;
    }
    // Qt lists --help-all among the options but only process() answers it:
    // the help with Qt's own options, and exit status 0.
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(arguments);
    if (parser.isSet(version)) {
        out(QStringLiteral("tidewell-episode-keeper ") + QString::fromLatin1(build::version));
        return Success;
    }
    const int chosen = int(parser.isSet(list)) + int(parser.isSet(download)) + int(parser.isSet(checkFeedOption))
        + int(parser.isSet(headless)) + int(parser.isSet(status)) + int(parser.isSet(importOpmlOption))
        + int(parser.isSet(exportOpmlOption)) + int(parser.isSet(afterDownload));
    if (chosen != 1 || !parser.positionalArguments().isEmpty()) {
        err(QStringLiteral("Give exactly one of --list, --status, --download NAME, --check-feed URL, --headless, "
                           "--import-opml FILE, --export-opml or --after-download COMMAND (--help tells more)."));
        return Usage;
    }
    if (parser.isSet(checkFeedOption))
        return checkFeed(parser.value(checkFeedOption));
    if (parser.isSet(afterDownload))
        return setAfterDownload(parser.value(afterDownload));
    // A file that is not OPML is refused before the data folder is touched.
    OpmlReading opml;
    if (parser.isSet(importOpmlOption)) {
        opml = ReadOpmlFile(parser.value(importOpmlOption));
        if (!opml.error.isEmpty()) {
            err(opml.error);
            return Failed;
        }
    }

    ConsoleMessageBox reports;
    Database db(reports, programFolder);
    if (!db.feeds.isOpen())
        return Failed;
    if (parser.isSet(list))
        return listFeeds(db, reports);
    if (parser.isSet(status))
        return showStatus(db, reports);
    if (parser.isSet(download))
        return downloadFeed(db, reports, parser.value(download));
    if (parser.isSet(importOpmlOption))
        return importOpml(db, opml);
    if (parser.isSet(exportOpmlOption))
        return exportOpml(db);
    return runHeadless(db, reports);
}

} // namespace tidewell
