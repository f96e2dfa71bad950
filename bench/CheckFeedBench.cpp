// The program reading a 20 MB, 10,000-item feed end to end, process start
// included: `tidewell-episode-keeper --check-feed` against a loopback server,
// beside pugixml loading the same bytes from disk in a process of its own
// (pugixml_load). The two run in turns, A B A B ..., so a drift in the
// machine's speed touches both alike; each pair gives a ratio. Goal: a median
// ratio of at most 1.2. The server is a child process sending the file with
// sendfile() (FileServer.h), so what is timed is the reading, not the serving.
//
//   checkfeed_bench [--runs N] [--program PATH]
//                                measure (20 pairs by default); PATH times
//                                another build of the program instead
//   checkfeed_bench --serve      only serve the feed and print both commands,
//                                for timing them with another tool; ends at
//                                end of input
#include "BenchFeed.h"
#include "FileServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

struct Run
{
    double milliseconds = 0;
    double cpuMilliseconds = 0;
    double peakMiB = 0;
};

double now()
{
    timespec time = {};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return double(time.tv_sec) * 1e3 + double(time.tv_nsec) / 1e6;
}

// One whole process, its output thrown away; nothing of ours runs in
// between, so the time is the process's own, start and exit included.
Run timeProcess(const QStringList &command)
{
    std::vector<QByteArray> arguments;
    for (const QString &argument : command)
        arguments.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const double start = now();
    pid_t child = 0;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    int status = 0;
    rusage usage = {};
    wait4(child, &status, 0, &usage);
    const double end = now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    const auto ms = [](const timeval &time) { return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3; };
    return {end - start, ms(usage.ru_utime) + ms(usage.ru_stime), double(usage.ru_maxrss) / 1024.0};
}

struct Spread
{
    double min, median, max;
};

Spread spread(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {values.front(), median, values.back()};
}

void printRow(const char *name, const std::vector<double> &values, const char *unit)
{
    const Spread s = spread(values);
    std::printf("  %-34s %9.1f %9.1f %9.1f %s\n", name, s.min, s.median, s.max, unit);
}

// Says what --check-feed found, so a broken read cannot pass for a fast one.
bool checkFeedReadsEveryItem(const QStringList &command)
{
    QProcess process;
    process.start(command.front(), command.mid(1));
    process.waitForFinished(120000);
    const QByteArray output = process.readAllStandardOutput();
    const bool ok = process.exitCode() == 0 &&
                    output.contains("Items: " + QByteArray::number(tidewell::bench::feedItemCount) + '\n');
    if (!ok)
        std::fprintf(stderr, "--check-feed did not read the feed:\n%s", output.constData());
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const bool serveOnly = arguments.contains(QStringLiteral("--serve"));
    const qsizetype runsAt = arguments.indexOf(QStringLiteral("--runs"));
    const int runs = runsAt > 0 ? std::max(1, arguments.value(runsAt + 1).toInt()) : 20;
    const qsizetype programAt = arguments.indexOf(QStringLiteral("--program"));
    const QString executable = programAt > 0 ? arguments.value(programAt + 1) : QStringLiteral(TIDEWELL_EXECUTABLE);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("feed.xml"));
    const QByteArray feed = tidewell::bench::makeFeed();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(feed) != feed.size())
        return 1;
    file.close();
    const tidewell::bench::FileServer server(path, "application/rss+xml");

    const QStringList program = {executable, QStringLiteral("--check-feed"), server.url(QStringLiteral("/feed.xml"))};
    const QStringList yardstick = {QStringLiteral(PUGIXML_LOAD), path};
    if (serveOnly) {
        std::printf("%s\n%s\n", qPrintable(program.join(u' ')), qPrintable(yardstick.join(u' ')));
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        return 0;
    }
    if (!checkFeedReadsEveryItem(program))
        return 1;

    for (int i = 0; i < 2; ++i) { // warm-up: caches, page tables, the server's thread
        timeProcess(program);
        timeProcess(yardstick);
    }
    std::vector<double> programMs, yardstickMs, ratios, programCpu, yardstickCpu, cpuRatios, programMiB, yardstickMiB;
    for (int i = 0; i < runs; ++i) {
        const Run a = timeProcess(program);
        const Run b = timeProcess(yardstick);
        programMs.push_back(a.milliseconds);
        yardstickMs.push_back(b.milliseconds);
        ratios.push_back(a.milliseconds / b.milliseconds);
        programCpu.push_back(a.cpuMilliseconds);
        yardstickCpu.push_back(b.cpuMilliseconds);
        cpuRatios.push_back(a.cpuMilliseconds / b.cpuMilliseconds);
        programMiB.push_back(a.peakMiB);
        yardstickMiB.push_back(b.peakMiB);
    }

    std::printf("A 20 MiB feed of %d items, %d pairs of runs, each a whole process:\n", tidewell::bench::feedItemCount,
                runs);
    std::printf("  %-34s %9s %9s %9s\n", "", "min", "median", "max");
    printRow("--check-feed over loopback", programMs, "ms");
    printRow("pugixml load from disk", yardstickMs, "ms");
    printRow("ratio, pair by pair", ratios, "(goal: median at most 1.2)");
    // Processor time (user and system) moves less than wall time when other
    // work shares the machine.
    printRow("processor time, --check-feed", programCpu, "ms");
    printRow("processor time, pugixml load", yardstickCpu, "ms");
    printRow("processor time ratio", cpuRatios, "");
    printRow("peak memory, --check-feed", programMiB, "MiB");
    printRow("peak memory, pugixml load", yardstickMiB, "MiB");
    return 0;
}
