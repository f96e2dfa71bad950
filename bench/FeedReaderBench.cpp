// ReadFeed of a 20 MB feed with 10,000 items served on loopback, against
// pugixml loading the same bytes alone. Goals: at most 1.5 times the load
// alone, and a peak memory of at most 4 times the document's size.

#include "BenchFeed.h"
#include "FeedReader.h"
#include "LoopbackServer.h"
#include "Network.h"

#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <malloc.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

using tidewell::FeedReader;
using tidewell::test::LoopbackServer;

using tidewell::bench::makeFeed;
constexpr int itemCount = tidewell::bench::feedItemCount;

long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The rise of resident memory, at its highest, over one call of read.
template <typename Read>
double peakMiB(Read read)
{
    malloc_trim(0); // memory freed earlier must not hide new use
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (!clearRefs.open(QIODevice::WriteOnly) || clearRefs.write("5") != 1)
        return -1;
    clearRefs.close();
    const long before = statusKiB("VmRSS:");
    read();
    return double(statusKiB("VmHWM:") - before) / 1024.0;
}

// Keeps each benchmark's time per iteration for the summary.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            milliseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> milliseconds;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    const QByteArray feed = makeFeed();
    LoopbackServer server;
    server.serve("/feed.xml", LoopbackServer::Reply::ok(feed, "application/rss+xml"));
    const QString url = server.url(QStringLiteral("/feed.xml"));
    tidewell::Network network;

    const auto readFeed = [&url](FeedReader &reader) {
        int type = 0;
        const bool ok = reader.ReadFeed(url, {}, {}, type, false);
        if (!ok || reader.FeedItems()->size() != std::size_t(itemCount))
            std::fprintf(stderr, "ReadFeed failed: %s\n", qPrintable(reader.failure().text()));
        return ok;
    };
    const auto loadAlone = [&feed](pugi::xml_document &document) {
        return bool(document.load_buffer(feed.constData(), std::size_t(feed.size())));
    };

    // Only the call is timed: making the reader (or document) and freeing
    // what it holds happen outside, for both alike.
    benchmark::RegisterBenchmark("ReadFeed/20MB-10000-items", [&](benchmark::State &state) {
        for (auto _ : state) {
            state.PauseTiming();
            auto reader = std::make_unique<FeedReader>(network);
            state.ResumeTiming();
            benchmark::DoNotOptimize(readFeed(*reader));
            state.PauseTiming();
            reader.reset();
            state.ResumeTiming();
        }
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("PugixmlLoadAlone/20MB", [&](benchmark::State &state) {
        for (auto _ : state) {
            state.PauseTiming();
            auto document = std::make_unique<pugi::xml_document>();
            state.ResumeTiming();
            benchmark::DoNotOptimize(loadAlone(*document));
            state.PauseTiming();
            document.reset();
            state.ResumeTiming();
        }
    })->Unit(benchmark::kMillisecond)->UseRealTime();

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double document = double(feed.size()) / (1024.0 * 1024.0);
    const double readFeedMs = reporter.milliseconds["ReadFeed/20MB-10000-items"];
    const double loadMs = reporter.milliseconds["PugixmlLoadAlone/20MB"];
    if (loadMs > 0)
        std::printf("\nReadFeed %.1f ms, pugixml load alone %.1f ms: ratio %.2f (goal at most 1.5)\n", readFeedMs,
                    loadMs, readFeedMs / loadMs);
    const double readPeak = peakMiB([&] {
        FeedReader reader(network);
        readFeed(reader);
    });
    const double loadPeak = peakMiB([&] {
        pugi::xml_document document;
        loadAlone(document);
    });
    std::printf("Peak memory: ReadFeed %.1f MiB, pugixml load alone %.1f MiB, for a %.1f MiB document: "
                "%.2f times its size (goal at most 4)\n",
                readPeak, loadPeak, document, readPeak / document);
    return 0;
}
