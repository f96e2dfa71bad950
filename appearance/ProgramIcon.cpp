#include "ProgramIcon.h"

#include <QString>

namespace tidewell {

QList<int> programIconSizes()
{
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QIcon programIcon()
{
    QIcon icon;
    for (const int size : programIconSizes())
        icon.addFile(QStringLiteral(":/tidewell/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace tidewell
