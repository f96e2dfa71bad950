// Build tool: draws the program icon's SVG into the PNG sizes desktops use,
// so the executable and the installed theme carry pictures made for each
// size rather than one picture scaled.
//
//   tidewell_render_icon <icon.svg> <output folder> <size>...
//
// Writes <output folder>/<size>.png for each size.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>

#include <cstdio>

namespace {

bool renderSize(QSvgRenderer &renderer, int size, const QString &folder)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    return image.save(folder + QStringLiteral("/%1.png").arg(size), "PNG");
}

int fail(const QString &message)
{
    std::fprintf(stderr, "tidewell_render_icon: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4)
        return fail(QStringLiteral("usage: tidewell_render_icon <icon.svg> <output folder> <size>..."));

    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot read %1").arg(arguments.at(1)));
    const QString folder = arguments.at(2);
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot make %1").arg(folder));
    for (const QString &sizeText : arguments.mid(3)) {
        bool isNumber = false;
        const int size = sizeText.toInt(&isNumber);
        if (!isNumber || size <= 0 || size > 1024)
            return fail(QStringLiteral("not an icon size: %1").arg(sizeText));
        if (!renderSize(renderer, size, folder))
            return fail(QStringLiteral("cannot write the %1 pixel picture").arg(size));
    }
    return 0;
}
