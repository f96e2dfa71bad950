#include "BuildConfig.h"
#include "CommandLine.h"
#include "DataFile.h"
#include "Form1.h"
#include "PathHelpers.h"
#include "ProgramIcon.h"
#include "QtMessageBox.h"
#include "RunningCopy.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {
bool hasDisplay()
{
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}
} // namespace

int main(int argc, char *argv[])
{
    if (tidewell::wantsCommandLine(argumentsOf(argc, argv))) {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("tidewell-episode-keeper"));
        QCoreApplication::setApplicationVersion(QString::fromLatin1(tidewell::build::version));
        return tidewell::runCommandLine(QCoreApplication::arguments(), tidewell::programFolder());
    }
    if (!hasDisplay()) {
        std::fputs("Tidewell Episode Keeper needs a graphical desktop, and no display was found "
                   "(neither DISPLAY nor WAYLAND_DISPLAY is set); see --help for what works without one.\n",
                   stderr);
        return 1;
    }
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
    if (const std::optional<int> status = tidewell::deferToRunningCopy(running, dataFolder, messageBox))
        return *status;
    tidewell::ComeForwardServer comeForward(dataFolder);

    tidewell::Form1 mainWindow({messageBox, tidewell::programFolder()});
    QObject::connect(&comeForward, &tidewell::ComeForwardServer::comeForward, &mainWindow,
                     &tidewell::Form1::comeForward);
    mainWindow.Form_Load();
    mainWindow.showAfterLoad();
    return application.exec();
}
