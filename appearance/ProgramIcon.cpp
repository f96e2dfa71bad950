#include "ProgramIcon.h"

#include <QString>

namespace tidewell {

QList<int> programIconSizes()
{
    return {16, 22, 24, 32, 48, 64};
}

QIcon programIcon()
{
    // Decoding the pictures is a good part of the window's start, and every
    // window, the tray and the message boxes ask for the icon: it is read
    // once. Never destroyed, as its pixmaps must not outlive the application.
    static const QIcon *const icon = [] {
        auto *made = new QIcon;
        for (const int size : programIconSizes())
            made->addFile(QStringLiteral(":/tidewell/icons/%1.png").arg(size), QSize(size, size));
        return made;
    }();
    return *icon;
}

} // namespace tidewell
