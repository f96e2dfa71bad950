// The window's half of the program, built as a module of its own that main()
// loads only when the window is wanted. The command line thus never loads the
// widget and graphics libraries (about thirty, with their dependencies),
// which would be most of what starting it costs.
#include "BuildConfig.h"
#include "DataFile.h"
#include "Form1.h"
#include "PathHelpers.h"
#include "ProgramIcon.h"
#include "QtMessageBox.h"
#include "RunningCopy.h"

#include <QApplication>

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
    if (const std::optional<int> status = tidewell::deferToRunningCopy(running, dataFolder, messageBox))
        return *status;
    tidewell::ComeForwardServer comeForward(dataFolder);

    tidewell::Form1 mainWindow({messageBox, tidewell::programFolder()});
    QObject::connect(&comeForward, &tidewell::ComeForwardServer::comeForward, &mainWindow,
                     &tidewell::Form1::comeForward);
    mainWindow.driver().followNetwork();
    mainWindow.Form_Load();
    mainWindow.showAfterLoad();
    return application.exec();
}
