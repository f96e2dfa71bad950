#pragma once

#include <QString>

namespace tidewell {

// Starting with the desktop session. An entry in the user's XDG autostart
// folder plays the part of the old machine-wide Run value: it is named after
// the executable's file name and starts the program by its full path.

// <config home>/autostart, honouring XDG_CONFIG_HOME.
QString autostartFolder();
QString autostartEntryPath(const QString &fileName);

// The Exec value that runs this path and nothing else: quoted when the
// path holds a character the Exec rules reserve, then escaped as a string.
QString execValueFor(const QString &path);

// Writes the entry for fileName, which stands in programFolder.
void AddRunEntry(const QString &fileName, const QString &programFolder);
// Removes the entry of that name; quiet when there is none.
void RemoveRunEntry(const QString &fileName);

// The running program's own file, or empty text when it cannot be found
// (for instance after it was deleted while running).
QString findExecutable();

// Register or unregister the running program. The overloads that take a
// path let a caller name the executable; an empty path, or one that is not
// an existing file, changes nothing.
void RegisterStartup();
void UnregisterStartup();
void RegisterStartup(const QString &executablePath);
void UnregisterStartup(const QString &executablePath);

} // namespace tidewell
