#include "DataFile.h"

#include "ErrorTrap.h"
#include "PathHelpers.h"
#include "RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tidewell::datafile {

QString makerFolder()
{
    return GetSpecialFolderPath(special::CommonAppData) + QLatin1Char('/') + maker;
}

QString dataFolder()
{
    return makerFolder() + QLatin1Char('/') + product;
}

QString dataFilePath()
{
    return dataFolder() + QLatin1Char('/') + liveName;
}

QString connectionString()
{
    return QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=") + GetSpecialFolderPath(special::CommonAppData)
        + QLatin1Char('/') + maker + QLatin1Char('/') + product + QLatin1Char('/') + liveName
        + QStringLiteral(";Persist Security Info=False");
}

bool folderListingFinds(const QString &path)
{
    return QFileInfo::exists(path);
}

void createFolder(const QString &path)
{
    if (!QDir().mkdir(path))
        throw RuntimeError(75, QStringLiteral("Path/File access error: could not create '%1'").arg(path));
}

void copyFile(const QString &from, const QString &to)
{
    if (!QFileInfo::exists(from))
        throw RuntimeError(53, QStringLiteral("File not found: '%1'").arg(from));
    // A half-written copy must not become the live database, so copy to a
    // temporary name and rename it into place.
    const QString partial = to + QStringLiteral(".part");
    QFile::remove(partial);
    if (QFileInfo(to).size() == 0)
        QFile::remove(to); // an empty file in its place is no database to keep
    if (!QFile::copy(from, partial) || !QFile::rename(partial, to)) {
        QFile::remove(partial);
        throw RuntimeError(75, QStringLiteral("Path/File access error: could not copy '%1' to '%2'").arg(from, to));
    }
    // The templates may be installed read-only; the live database is written.
    QFile(to).setPermissions(QFile(to).permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
}

bool prepare(ErrorTrap &onError, const QString &programFolder)
{
    if (onError.test(132, [] { return !folderListingFinds(makerFolder()); }))
        onError(134, [] { createFolder(makerFolder()); });
    if (onError.test(136, [] { return !folderListingFinds(dataFolder()); }))
        onError(138, [] { createFolder(dataFolder()); });
    // An empty file (a disk that filled up while it was made, say) holds no
    // feeds to keep: it is made again like a missing one.
    if (!onError.test(140, [] { return !FileExists(dataFilePath()) || QFileInfo(dataFilePath()).size() == 0; }))
        return false;
    const QString prepared = programFolder + QLatin1Char('/') + preparedTemplate;
    if (onError.test(142, [&] { return FileExists(prepared); })) {
        onError(144, [&] { copyFile(prepared, dataFilePath()); });
        return false;
    }
    onError(146, [&] { copyFile(programFolder + QLatin1Char('/') + blankTemplate, dataFilePath()); });
    return true; // 148
}

} // namespace tidewell::datafile
