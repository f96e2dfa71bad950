// The window's half of the program, built as a module of its own that main()
// loads only when the window is wanted. The command line thus never loads the
// widget and graphics libraries (about thirty, with their dependencies),
// which would be most of what starting it costs.
#include "BuildConfig.h"
#include "Form1.h"
#include "PathHelpers.h"
#include "QtMessageBox.h"

#include <QApplication>

extern "C" Q_DECL_EXPORT int tidewell_window_main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tidewell-episode-keeper"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tidewell Episode Keeper"));
    QApplication::setApplicationVersion(QString::fromLatin1(tidewell::build::version));
    // The window hides into the notification area; a message box closed
    // meanwhile must not end the program. Closing the window ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    tidewell::QtMessageBox messageBox;
    tidewell::Form1 mainWindow({messageBox, tidewell::programFolder()});
    mainWindow.Form_Load();
    if (mainWindow.windowState() & Qt::WindowMinimized)
        mainWindow.showMinimized();
    else
        mainWindow.show();
    return application.exec();
}
