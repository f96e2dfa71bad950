#include "QtMessageBox.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStyle>

namespace tidewell {
namespace {

// A box sizes itself to its message; one as short as "Done." would leave the
// window manager too little title bar for the title. Room for the title in
// the box's font, and for the title bar's icon and three buttons beside it.
void makeRoomForTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    const int button = box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 4 * button;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace

int QtMessageBox::present(const QString &prompt, int style, const QString &title)
{
    QMessageBox box(QApplication::activeWindow());
    // Modal over its window only, so the tray icon still answers while it is
    // open: a window minimised meanwhile can come back to show it.
    if (box.parentWidget())
        box.setWindowModality(Qt::WindowModal);
    box.setWindowTitle(title);
    box.setText(withLineFeeds(prompt));
    const int icon = style & 0x70;
    if (icon == msgbox::Exclamation)
        box.setIcon(QMessageBox::Warning);
    else if (icon == msgbox::Question)
        box.setIcon(QMessageBox::Question);
    makeRoomForTitle(box);
    if ((style & 0x0f) == msgbox::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? msgbox::Yes : msgbox::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return msgbox::Ok;
}

} // namespace tidewell
