// The window's half of the program, built as a module of its own that main()
// loads only when the window is wanted. The command line thus never loads the
// widget and graphics libraries (about thirty, with their dependencies),
// which would be most of what starting it costs.
#include "BuildConfig.h"
#include "CountdownEngine.h"
#include "DataFile.h"
#include "Form1.h"
#include "LocalChannel.h"
#include "PathHelpers.h"
#include "ProgramIcon.h"
#include "QtMessageBox.h"
#include "RunningCopy.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <optional>
#include <thread>

namespace {

// Asks the background service for the schedule and takes its lock. The
// service first lets its running downloads end (ten seconds at most), so a
// dialog says what the start waits for when it takes longer than a moment.
bool takeScheduleFromService(tidewell::RunningCopy &running, const QString &dataFolder)
{
    std::optional<QByteArray> answer;
    std::atomic<bool> answered{false};
    QEventLoop loop;
    std::thread asker([&] {
        answer = tidewell::askChannel(tidewell::channelPath(dataFolder, QStringLiteral("service")), "hand over", 20000);
        answered = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QProgressDialog waiting(QStringLiteral("The background service is finishing its downloads before this window "
                                           "takes over the schedule."),
                            QString(), 0, 0);
    waiting.setWindowTitle(QStringLiteral("Tidewell Episode Keeper"));
    waiting.setMinimumDuration(800);
    waiting.setValue(0);
    if (!answered)
        loop.exec();
    asker.join();
    if (answer != QByteArray("handed over"))
        return false;
    // The service has let the lock go; nothing else takes it before us.
    const QDeadlineTimer deadline(3000);
    while (!running.takeSchedule()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

} // namespace

// The module's one exported symbol, under the program's symbol version, by
// which the executable asks for it (see main.cpp).
extern "C" Q_DECL_EXPORT int tidewell_window_main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // No display name: Qt would add it to every window's title.
    QApplication::setApplicationName(QStringLiteral("tidewell-episode-keeper"));
    QApplication::setApplicationVersion(QString::fromLatin1(tidewell::build::version));
    QGuiApplication::setDesktopFileName(QStringLiteral("tidewell-episode-keeper"));
    // Every window, message boxes shown before the main window included.
    QApplication::setWindowIcon(tidewell::programIcon());
    // The window hides into the notification area; a message box closed
    // meanwhile must not end the program. Closing the window ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    tidewell::QtMessageBox messageBox;
    const QString dataFolder = tidewell::datafile::dataFolder();
    tidewell::RunningCopy running(dataFolder);
    bool fromService = false;
    const auto handOver = [&] { return fromService = takeScheduleFromService(running, dataFolder); };
    if (const std::optional<int> status = tidewell::deferToRunningCopy(running, dataFolder, messageBox, handOver))
        return *status;
    tidewell::WindowChannel channel(dataFolder);

    tidewell::Form1::Environment environment{messageBox, tidewell::programFolder()};
    environment.secondsPerMinute = tidewell::SecondsPerMinute();
    environment.scheduleFromService = fromService;
    tidewell::Form1 mainWindow(std::move(environment));
    QObject::connect(&channel, &tidewell::WindowChannel::comeForward, &mainWindow, &tidewell::Form1::comeForward);
    QObject::connect(&channel, &tidewell::WindowChannel::reloadList, &mainWindow, &tidewell::Form1::listPodCast);
    mainWindow.driver().followNetwork();
    mainWindow.Form_Load();
    mainWindow.showAfterLoad();
    return application.exec();
}
