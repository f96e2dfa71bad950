// DownloadFile against the curl command line, fetching the same file from the
// same loopback server to the same disk in one run. The server is a child
// process sending the file with sendfile(), so neither client pays for it and
// this process's peak memory is the transfer's own.
#include "EpisodeTransfer.h"
#include "FileServer.h"
#include "Network.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr qint64 MiB = 1024 * 1024;

void makeSource(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    const QByteArray block(static_cast<int>(MiB), 'e');
    for (qint64 written = 0; written < size; written += MiB)
        file.write(block);
}

long peakKiB()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double seconds(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir work(QDir::currentPath() + QStringLiteral("/download-bench-XXXXXX"));
    const QString source = work.path() + QStringLiteral("/source.bin");

    std::printf("%-8s %12s %12s %8s %16s\n", "size", "curl MB/s", "ours MB/s", "ratio", "peak RSS (MiB)");
    for (const qint64 size : {100 * MiB, 1024 * MiB}) {
        makeSource(source, size);
        const tidewell::bench::FileServer server(source, "audio/mpeg");
        const QString url = server.url(QStringLiteral("/episode.mp3"));

        // Each client runs twice, interleaved, after the disk has caught up
        // with the run before; the better run of each counts, so neither is
        // slowed by flushing the other's file.
        const QString curlTarget = work.path() + QStringLiteral("/by-curl.mp3");
        const QString ourTarget = work.path() + QStringLiteral("/by-us.mp3");
        double curlSeconds = 1e9;
        double ourSeconds = 1e9;
        bool done = true;
        tidewell::Network network;
        for (int round = 0; round < 2; ++round) {
            QFile::remove(curlTarget);
            QFile::remove(ourTarget);
            ::sync();
            QElapsedTimer timer;
            timer.start();
            QProcess::execute(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), curlTarget, url});
            curlSeconds = std::min(curlSeconds, seconds(timer));
            ::sync();
            timer.restart();
            done = tidewell::DownloadFile(network, url, ourTarget) && done;
            ourSeconds = std::min(ourSeconds, seconds(timer));
        }

        if (!done || QFile(ourTarget).size() != size || QFile(curlTarget).size() != size) {
            std::fprintf(stderr, "a transfer did not complete\n");
            return 1;
        }
        const double megabytes = static_cast<double>(size) / 1e6;
        std::printf("%-8s %12.0f %12.0f %8.2f %16.1f\n", size == 100 * MiB ? "100 MiB" : "1 GiB",
                    megabytes / curlSeconds, megabytes / ourSeconds, curlSeconds / ourSeconds,
                    static_cast<double>(peakKiB()) / 1024.0);
        QFile::remove(curlTarget);
        QFile::remove(ourTarget);
    }
    return 0;
}
