#pragma once

#include "Settings.h"
#include "StepFailures.h"

#include <QString>

namespace tidewell {

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

// The steps of preparing that can fail: "Path/File access error" (75) or
// "File not found" (53).
enum class Step { MakeMakerFolder, MakeDataFolder, CopyPreparedTemplate, CopyBlankTemplate };

struct Preparation
{
    // The database was made from the blank template (even if that copy
    // failed), so the first filling of the list points its feeds at the
    // desktop.
    bool newDatabase = false;
    StepFailures<Step> failures;
};

// Makes the data folder and, when it is missing, the live database from a
// template in programFolder: the prepared dbPodcast.mdb unchanged when it is
// there, else dbBlank.mdb. A step that fails does not stop the next.
Preparation prepare(const QString &programFolder);
} // namespace datafile

} // namespace tidewell
