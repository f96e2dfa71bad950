#include "DataFile.h"

#include "PathHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tidewell::datafile {
namespace {

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

} // namespace

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

Preparation prepare(const QString &programFolder)
{
    Preparation done;
    // A directory listing finds a file of that name as well as a folder.
    if (!QFileInfo::exists(makerFolder()))
        attempt(done.failures, Step::MakeMakerFolder, [] { createFolder(makerFolder()); });
    if (!QFileInfo::exists(dataFolder()))
        attempt(done.failures, Step::MakeDataFolder, [] { createFolder(dataFolder()); });
    // An empty file (a disk that filled up while it was made, say) holds no
    // feeds to keep: it is made again like a missing one.
    if (FileExists(dataFilePath()) && QFileInfo(dataFilePath()).size() > 0)
        return done;
    const QString prepared = programFolder + QLatin1Char('/') + preparedTemplate;
    if (FileExists(prepared)) {
        attempt(done.failures, Step::CopyPreparedTemplate, [&] { copyFile(prepared, dataFilePath()); });
        return done;
    }
    attempt(done.failures, Step::CopyBlankTemplate,
            [&] { copyFile(programFolder + QLatin1Char('/') + blankTemplate, dataFilePath()); });
    done.newDatabase = true;
    return done;
}

} // namespace tidewell::datafile
