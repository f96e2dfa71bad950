#include "Form2.h"

#include "PathHelpers.h"
#include "Settings.h"

#include <QDir>
#include <QDialog>
#include <QLineEdit>

namespace tidewell {

void Form2::PushButton3_Click()
{
    ErrorTrap onError = trap(QStringLiteral("PushButton3_Click"));
    QString path;
    onError(100, [&] { path = m_folderBrowser->BrowseForFolder(m_dialog.data(), QStringLiteral("Select Folder"), {}); });
    if (onError.test(102, [&] { return path.isEmpty(); }))
        return;
    onError(104, [&] { settings::write(settings::lastFolderDot, path); });
    // The root folder comes back with its separator already.
    if (onError.test(104, [&] { return !path.endsWith(QLatin1Char('/')); }))
        onError(106, [&] { Text3->setText(path + QLatin1Char('/')); });
    else
        onError(108, [&] { Text3->setText(path); });
}

void Form2::PushButton7_Click()
{
    ErrorTrap onError = trap(QStringLiteral("PushButton7_Click"));
    onError(100, [&] { Text3->setText(GetDesktopPath()); });
}

void Form2::PushButton8_Click()
{
    ErrorTrap onError = trap(QStringLiteral("PushButton8_Click"));
    onError(100, [&] { Text3->setText(downloadsFolder()); });
}

QString Form2::downloadsFolder() const
{
    // The home folder stands where the user profile does elsewhere; without
    // one the folder is "/Downloads/", which the save refuses as missing.
    QString home = QDir::homePath();
    while (home.endsWith(QLatin1Char('/')))
        home.chop(1);
    return home + QStringLiteral("/Downloads/");
}

} // namespace tidewell
