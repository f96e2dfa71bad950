#pragma once

#include <QString>

namespace tidewell {

// Special folders the program asks for by the shell's numbers.
namespace special {
inline constexpr int Desktop = 0;
inline constexpr int CommonAppData = 35;
} // namespace special

// The folder of a special-folder number without a trailing separator, or
// empty text for a number the program does not know. The desktop number
// gives the default folder of new feeds, one that exists: the desktop
// folder, else the download folder (made when missing), else the home
// folder.
QString GetSpecialFolderPath(int folderId);

// The default folder of new feeds followed by one separator.
QString GetDesktopPath();

// The user's download folder without a trailing separator, made when it is
// missing; the path is given even when it cannot be made.
QString DownloadsFolder();

// True for an existing file or folder; false for empty text.
bool FileExists(const QString &path);

bool IsFolder(const QString &path);

// Removes a file, read-only or not; lets pending events run first. Quiet
// when there is nothing to remove: callers test the path afterwards.
void RemoveFile(const QString &path);

void ForceDeleteFile(const QString &path);

// The folder of the running executable.
QString programFolder();

// This user's and this machine's own state (the schedule, partial
// downloads): $XDG_STATE_HOME, else ~/.local/state, then
// Marrowby/Tidewell Episode Keeper. Not made here.
QString StateFolder();

} // namespace tidewell
