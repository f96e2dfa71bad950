#include "PathHelpers.h"

#include "DoEvents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace tidewell {

namespace {
QString withoutTrailingSeparator(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

// New feeds are saved here unless the user picks another folder, so it must
// exist: many accounts have no desktop folder at all.
QString defaultDestination()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (IsFolder(desktop))
        return desktop;
    const QString downloads = DownloadsFolder();
    if (IsFolder(downloads))
        return downloads;
    return QDir::homePath();
}
} // namespace

QString GetSpecialFolderPath(int folderId)
{
    QString path;
    switch (folderId) {
    case special::CommonAppData:
        // Per-user on this platform: a shared folder is not writable by a
        // desktop user, and the data is the user's own feed list.
        path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        // A new account may not have it yet; programs that keep data there
        // are to create it, and the data folder is made inside it.
        QDir().mkpath(path);
        break;
    case special::Desktop:
        path = defaultDestination();
        break;
    default:
        return {};
    }
    return withoutTrailingSeparator(path);
}

QString DownloadsFolder()
{
    const QString path = withoutTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    QDir().mkpath(path);
    return path;
}

QString GetDesktopPath()
{
    return GetSpecialFolderPath(special::Desktop) + QLatin1Char('/');
}

bool FileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool IsFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

void RemoveFile(const QString &path)
{
    DoEvents();
    if (!QFile::remove(path))
        ForceDeleteFile(path);
}

void ForceDeleteFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return;
    QFile file(path);
    file.setPermissions(file.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    file.remove();
}

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString StateFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Marrowby/Tidewell Episode Keeper");
}

} // namespace tidewell
