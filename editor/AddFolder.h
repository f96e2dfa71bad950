#pragma once

#include <QString>

class QWidget;

namespace tidewell {

// The folder browser behind the editor's "..." button. A seam of its own so
// tests can answer for the user without a window.
class FolderBrowser
{
public:
    virtual ~FolderBrowser() = default;

    // A modal chooser owned by `owner` that offers real folders only. The
    // chosen folder's full path, or empty text when the user cancels.
    virtual QString BrowseForFolder(QWidget *owner, const QString &title, const QString &initialFolder) = 0;
};

// The desktop's own folder chooser.
class DialogFolderBrowser : public FolderBrowser
{
public:
    QString BrowseForFolder(QWidget *owner, const QString &title, const QString &initialFolder) override;
};

} // namespace tidewell
