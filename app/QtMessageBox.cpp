#include "QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace tidewell {

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
