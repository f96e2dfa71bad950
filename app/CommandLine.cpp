#include "CommandLine.h"

#include "BuildConfig.h"
#include "Connection.h"
#include "ConsoleMessageBox.h"
#include "DataFile.h"
#include "CountdownEngine.h"
#include "ErrorTrap.h"
#include "FeedDownloadJob.h"
#include "FeedList.h"
#include "FeedReader.h"
#include "HeadlessScheduler.h"
#include "Network.h"
#include "OpmlExport.h"
#include "OpmlImport.h"
#include "PathHelpers.h"
#include "RecordSet.h"
#include "RunningCopy.h"
#include "RuntimeError.h"
#include "ScheduleStore.h"
#include "Statements.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>

#include <csignal>
#include <map>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace tidewell {
namespace {

enum ExitStatus { Success = 0, Failure = 1, Usage = 2 };

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
        newDatabase = datafile::prepare(onError, programFolder);
        try {
            connection.Open(datafile::connectionString());
        } catch (const RuntimeError &error) {
            err(QStringLiteral("Cannot open the feed database %1: %2").arg(datafile::dataFilePath(), error.description()));
        }
    }
    bool isOpen() const { return connection.State() != 0; }

    Connection connection;
    bool newDatabase = false;
};

int listFeeds(Database &db, ConsoleMessageBox &reports)
{
    ErrorTrap onError(reports, QStringLiteral("Form1"), QStringLiteral("listPodCast"));
    const int before = reports.shownCount();
    for (const FeedListRow &row : ReadFeedList(db.connection, onError, db.newDatabase))
        out(row.name + QLatin1Char('\t') + row.countdown + QLatin1Char('\t') + row.active);
    return reports.shownCount() == before ? Success : Failure;
}

bool feedExists(Connection &connection, const QString &name)
{
    RecordSet records;
    records.Open(statements::feedNamed(name), connection, adodb::OpenStatic, adodb::LockReadOnly);
    return !records.Eof();
}

// A time for people and for scripts alike: ISO 8601, local time.
QString isoTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(Qt::ISODate);
}

qint32 secondsPerMinute()
{
    // Tests shorten the minute so a schedule plays out in seconds.
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("TIDEWELL_SECONDS_PER_MINUTE", &ok);
    return ok && seconds > 0 ? seconds : 60;
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
    ErrorTrap onError(reports, QStringLiteral("Form1"), QStringLiteral("listPodCast"));
    const int before = reports.shownCount();
    const std::vector<FeedListRow> rows = ReadFeedList(db.connection, onError, db.newDatabase);
    ScheduleStore store;
    warnAboutStore(store);
    const std::vector<ScheduleStore::Count> counts = store.counts();
    std::map<QString, int> seen;
    for (const FeedListRow &row : rows) {
        const int ordinal = seen[row.name]++;
        const qint32 interval = row.minute ? qint32{*row.minute} * secondsPerMinute() : 0;
        const bool active = row.active == QStringLiteral("Yes");
        QString next = QStringLiteral("-");
        for (const ScheduleStore::Count &count : counts) {
            if (active && interval > 0 && count.name == row.name && count.ordinal == ordinal
                && count.intervalSeconds == interval)
                next = isoTime(count.startedMs + qint64{interval} * 1000);
        }
        const std::optional<ScheduleStore::LastDownload> last = store.lastDownload(row.name);
        out(QStringList{row.name, active ? QStringLiteral("Yes") : QStringLiteral("No"), next,
                        last ? isoTime(last->whenMs) : QStringLiteral("-"), last ? last->report : QStringLiteral("-")}
                .join(QLatin1Char('\t')));
    }
    return reports.shownCount() == before ? Success : Failure;
}

int downloadFeed(Database &db, ConsoleMessageBox &reports, const QString &name)
{
    try {
        if (!feedExists(db.connection, name)) {
            err(QStringLiteral("No feed is named \"%1\".").arg(name));
            return Usage;
        }
    } catch (const RuntimeError &error) {
        err(error.description());
        return Failure;
    }
    ErrorTrap onError(reports, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    Network network;
    ScheduleStore store;
    warnAboutStore(store);
    const FeedDownloadOutcome outcome = DownloadFeedEpisode({db.connection, network, &store}, name, &onError);
    // The button's message first, as a script may test it; then the reason.
    out(FeedDownloadMessage(outcome));
    if (!outcome.reason.isEmpty())
        err(outcome.reason);
    store.saveLastDownload(name, {QDateTime::currentMSecsSinceEpoch(), outcome.succeeded(), FeedDownloadReport(outcome)});
    return outcome.succeeded() ? Success : Failure;
}

int importOpml(Database &db, const OpmlReading &reading)
{
    try {
        for (const QString &line : ImportFeeds(db.connection, reading.feeds, GetDesktopPath()))
            out(line);
        return Success;
    } catch (const RuntimeError &error) {
        err(QStringLiteral("Nothing was added: ") + error.description());
        return Failure;
    }
}

int exportOpml(Database &db)
{
    try {
        const QByteArray opml = ExportOpml(db.connection);
        if (std::fwrite(opml.constData(), 1, static_cast<size_t>(opml.size()), stdout) == size_t(opml.size())
            && std::fflush(stdout) == 0)
            return Success;
        err(QStringLiteral("Cannot write the OPML to standard output."));
        return Failure;
    } catch (const RuntimeError &error) {
        err(error.description());
        return Failure;
    }
}

int checkFeed(const QString &url)
{
    FeedReader reader;
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
    if (!reader.unreadableReason().isEmpty()) {
        out(QStringLiteral("Error: ") + reader.unreadableReason());
    } else if (reader.LastErrorCode() != 0) {
        // The words first: the number means something to few.
        QString error = QStringLiteral("Error: ");
        if (!reader.LastErrorDesc().isEmpty())
            error += reader.LastErrorDesc() + QLatin1Char(' ');
        out(error + QStringLiteral("(code %1)").arg(reader.LastErrorCode()));
    }
    if (count == 0)
        return Failure;
    out(QStringLiteral("First item URL: ") + items->front().url());
    out(QStringLiteral("First item title: ") + items->front().Title());
    return items->front().url().isEmpty() ? Failure : Success;
}

// Unix signals reach the event loop through a socket pair, since a handler
// may do next to nothing itself.
int signalSockets[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
}

void catchSignals(std::initializer_list<int> numbers)
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : numbers)
        sigaction(number, &action, nullptr);
}

int runHeadless(Database &db, ConsoleMessageBox &reports)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0) {
        err(QStringLiteral("Cannot set up signal handling."));
        return Failure;
    }
    Network network;
    SystemClock clock;
    ScheduleStore store;
    warnAboutStore(store);
    HeadlessScheduler scheduler({db.connection, network, reports, clock, &store, secondsPerMinute()},
                                [&](const QString &feed, const QString &outcome) {
                                    out(QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char(' ') + feed
                                        + QStringLiteral(": ") + outcome);
                                });
    scheduler.setNewDatabase(db.newDatabase);
    if (!scheduler.reload())
        err(QStringLiteral("The feed list could not be read; SIGHUP tries again."));

    QSocketNotifier notifier(signalSockets[1], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [&] {
        char number = 0;
        if (::read(signalSockets[1], &number, 1) != 1)
            return;
        if (number == SIGHUP) {
            if (scheduler.reload())
                err(QStringLiteral("Feed list read again: %1 feeds.").arg(scheduler.feedCount()));
            else
                err(QStringLiteral("The feed list could not be read again; the %1 feeds and their counts stay as "
                                   "they were.")
                        .arg(scheduler.feedCount()));
            return;
        }
        scheduler.stop();
        network.abortAll();
        QCoreApplication::exit(Success);
    });
    catchSignals({SIGHUP, SIGINT, SIGTERM});
    err(QStringLiteral("Scheduling %1 feeds. SIGHUP reads the feed list again; SIGINT or SIGTERM stops.")
            .arg(scheduler.feedCount()));
    scheduler.start();
    const int status = QCoreApplication::exec();
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    return status;
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
    parser.addOptions({list, download, checkFeedOption, headless, status, importOpmlOption, exportOpmlOption});

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
        + int(parser.isSet(exportOpmlOption));
    if (chosen != 1 || !parser.positionalArguments().isEmpty()) {
        err(QStringLiteral("Give exactly one of --list, --status, --download NAME, --check-feed URL, --headless, "
                           "--import-opml FILE or --export-opml (--help tells more)."));
        return Usage;
    }
    if (parser.isSet(checkFeedOption))
        return checkFeed(parser.value(checkFeedOption));
    // A file that is not OPML is refused before the data folder is touched.
    OpmlReading opml;
    if (parser.isSet(importOpmlOption)) {
        opml = ReadOpmlFile(parser.value(importOpmlOption));
        if (!opml.error.isEmpty()) {
            err(opml.error);
            return Failure;
        }
    }

    ConsoleMessageBox reports;
    Database db(reports, programFolder);
    if (!db.isOpen())
        return Failure;
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
    const auto running = claimHeadlessScheduler(datafile::dataFolder());
    if (!running)
        return Failure;
    return runHeadless(db, reports);
}

} // namespace tidewell
