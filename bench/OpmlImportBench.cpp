// --import-opml's own work, reading the file and adding its feeds in one
// transaction, for 20,000 and 100,000 outlines into an empty feed list.
// Goal: 100,000 outlines in under 5 s, the time growing with the count and
// not with its square. Of 100,000 feeds 32,708 are added: the download
// minutes from 60 to 32767 are all the list can hold; the others still pass
// every check before they are skipped.

#include "FeedStore.h"
#include "OpmlImport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

// Feeds as a desktop podcatcher exports them, kept short enough for 100,000
// to fit in the 16 MiB an import reads: in categories of 100, a title and a
// text, names with accents and entities, addresses on a few hosts.
QByteArray makeOpml(int outlines)
{
    QByteArray opml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">\n<head><title>Bench</title>"
                      "</head>\n<body>\n";
    for (int feed = 0; feed < outlines; ++feed) {
        if (feed % 100 == 0)
            opml += (feed ? "</outline>\n" : "") + QByteArray("<outline text=\"Category ") + QByteArray::number(feed)
                + "\">\n";
        const QByteArray number = QByteArray::number(feed);
        opml += "  <outline type=\"rss\" title=\"Caf\xc3\xa9 Talk &amp; News " + number
            + "\" text=\"Weekly talk since 1996, " + number + "\" xmlUrl=\"https://feeds"
            + QByteArray::number(feed % 7) + ".example.org/show/" + number + ".xml\"/>\n";
    }
    return opml + "</outline>\n</body>\n</opml>\n";
}

void importOpml(benchmark::State &state)
{
    const int outlines = int(state.range(0));
    QTemporaryDir folder;
    const QString file = folder.path() + QStringLiteral("/subscriptions.opml");
    {
        QFile opml(file);
        opml.open(QIODevice::WriteOnly);
        opml.write(makeOpml(outlines));
    }
    const QString list = folder.path() + QStringLiteral("/dbData.mdb");
    qsizetype added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(list);
        QFile::copy(QStringLiteral(TIDEWELL_BLANK_TEMPLATE), list);
        QFile::setPermissions(list, QFile::ReadOwner | QFile::WriteOwner);
        tidewell::FeedStore feeds;
        feeds.open(list);
        state.ResumeTiming();

        const tidewell::OpmlReading reading = tidewell::ReadOpmlFile(file);
        const QStringList lines = tidewell::ImportFeeds(feeds, reading.feeds, folder.path() + QLatin1Char('/'));
        added = lines.filter(QStringLiteral("Added: ")).size();
    }
    state.counters["outlines"] = outlines;
    state.counters["added"] = double(added);
    state.counters["file_MiB"] = double(QFile(file).size()) / (1024.0 * 1024.0);
}

BENCHMARK(importOpml)->Arg(20000)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
