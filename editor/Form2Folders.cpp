#include "Form2.h"

#include "PathHelpers.h"
#include "Settings.h"

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
    // Made when missing, so the button never offers a folder the save would
    // refuse; one that cannot be made is still offered, and the save says so.
    const QString folder = DownloadsFolder();
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace tidewell
