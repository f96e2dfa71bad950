#pragma once

#include "Settings.h"

#include <QString>

namespace tidewell {

class ErrorTrap;

// Where the feed database lives and how it comes to exist. Each function
// looks the shared data location up afresh, as the start-up steps do.
namespace datafile {
// The folders are named as the settings are filed: maker, then product.
inline const QString &maker = settings::application;
inline const QString &product = settings::section;
inline const QString liveName = QStringLiteral("dbData.mdb");
inline const QString preparedTemplate = QStringLiteral("dbPodcast.mdb");
inline const QString blankTemplate = QStringLiteral("dbBlank.mdb");

QString makerFolder();   // <data location>/Marrowby
QString dataFolder();    // <data location>/Marrowby/Tidewell Episode Keeper
QString dataFilePath();  // .../dbData.mdb
QString connectionString();

// True when an entry of that name exists (a folder or, like the directory
// listing it stands for, a file).
bool folderListingFinds(const QString &path);
// Raise "Path/File access error" (75) or "File not found" (53) on failure.
void createFolder(const QString &path);
void copyFile(const QString &from, const QString &to);

// Makes the data folder and, when it is missing, the live database from a
// template in programFolder: the prepared dbPodcast.mdb unchanged when it is
// there, else dbBlank.mdb. Each step reports its own failure through the trap
// at its statement number and the next step runs. True when the database
// was made from the blank template (even if that copy failed), so the first
// filling of the list points its feeds at the desktop.
bool prepare(ErrorTrap &onError, const QString &programFolder);
} // namespace datafile

} // namespace tidewell
