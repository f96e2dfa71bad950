#include "ScreenFit.h"

#include <QMargins>
#include <QScreen>
#include <QWidget>

namespace tidewell {
namespace {
// Before a window is first shown the window manager has not told its frame;
// this leaves room for a title bar and borders of the usual sizes.
constexpr QMargins frameAllowance(8, 40, 8, 8);

QMargins frameOf(const QWidget &window)
{
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    const QMargins known(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                         frame.bottom() - client.bottom());
    return known.isNull() ? frameAllowance : known;
}
} // namespace

void fitOnScreen(QWidget &window, Placement placement)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QMargins frame = frameOf(window);
    const QSize room = area.size().shrunkBy(frame);
    if (room.isEmpty())
        return;
    window.resize(window.size().boundedTo(room).expandedTo(window.minimumSizeHint()));
    if (placement == Placement::Centred) {
        // A window's position is that of its frame.
        QRect placed(QPoint(), window.size().grownBy(frame));
        placed.moveCenter(area.center());
        window.move(placed.topLeft());
    }
}

} // namespace tidewell
