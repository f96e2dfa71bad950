#include "Form1.h"
#include "PathHelpers.h"
#include "QtMessageBox.h"

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
} // namespace

int main(int argc, char *argv[])
{
    if (!hasDisplay()) {
        std::fputs("Tidewell Episode Keeper needs a graphical desktop, and no display was found "
                   "(neither DISPLAY nor WAYLAND_DISPLAY is set).\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tidewell-episode-keeper"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tidewell Episode Keeper"));

    tidewell::QtMessageBox messageBox;
    tidewell::Form1 mainWindow({messageBox, tidewell::programFolder()});
    mainWindow.Form_Load();
    if (mainWindow.windowState() & Qt::WindowMinimized)
        mainWindow.showMinimized();
    else
        mainWindow.show();
    return application.exec();
}
