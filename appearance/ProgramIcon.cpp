#include "ProgramIcon.h"

#include <QPainter>
#include <QPixmap>
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

QIcon programIconWithWarning()
{
    static const QIcon *const icon = [] {
        auto *made = new QIcon;
        for (const int size : programIconSizes()) {
            QPixmap picture = programIcon().pixmap(size, size);
            QPainter painter(&picture);
            painter.setRenderHint(QPainter::Antialiasing);
            // An amber disc with a dark "!" over the lower right quarter.
            const QRectF mark(size * 0.45, size * 0.45, size * 0.55, size * 0.55);
            painter.setPen(QPen(QColor(0x40, 0x2a, 0x00), std::max(1.0, size / 24.0)));
            painter.setBrush(QColor(0xf5, 0xa6, 0x23));
            painter.drawEllipse(mark);
            painter.setPen(QPen(QColor(0x40, 0x2a, 0x00), std::max(1.5, size / 12.0), Qt::SolidLine, Qt::RoundCap));
            const double x = mark.center().x();
            painter.drawLine(QPointF(x, mark.top() + mark.height() * 0.22), QPointF(x, mark.top() + mark.height() * 0.58));
            painter.drawPoint(QPointF(x, mark.top() + mark.height() * 0.78));
            painter.end();
            made->addPixmap(picture);
        }
        return made;
    }();
    return *icon;
}

} // namespace tidewell
