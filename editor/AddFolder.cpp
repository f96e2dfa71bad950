#include "AddFolder.h"

#include <QFileDialog>

namespace tidewell {

QString DialogFolderBrowser::BrowseForFolder(QWidget *owner, const QString &title, const QString &initialFolder)
{
    return QFileDialog::getExistingDirectory(owner, title, initialFolder, QFileDialog::ShowDirsOnly);
}

} // namespace tidewell
