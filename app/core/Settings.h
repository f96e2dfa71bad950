#pragma once

#include <QString>

namespace tidewell {

// The per-user settings store: text values by application, section and key.
// Every read and write goes to the store at once; nothing is cached.
QString GetSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue);
void SaveSetting(const QString &application, const QString &section, const QString &key, const QString &value);

// Every preference of the program lives under this application and section.
namespace settings {
inline const QString application = QStringLiteral("Marrowby");
inline const QString section = QStringLiteral("Tidewell Episode Keeper");

inline const QString windowsStartup = QStringLiteral("Windows Startup");
inline const QString minimized = QStringLiteral("Minimized");
inline const QString startStopState = QStringLiteral("StartStopState");
inline const QString lastFolderDot = QStringLiteral("LastFolderDot");
// The command run after a new episode replaced a feed's file; empty for none.
inline const QString afterDownload = QStringLiteral("AfterDownload");

inline const QString on = QStringLiteral("On");
inline const QString off = QStringLiteral("Off");

QString read(const QString &key, const QString &defaultValue);
void write(const QString &key, const QString &value);

// The command to run after a new episode, as the setting holds it now (a
// --after-download given while a scheduler runs counts from its next one).
inline QString afterDownloadCommand()
{
    return read(afterDownload, QString());
}
} // namespace settings

} // namespace tidewell
