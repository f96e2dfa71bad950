#pragma once

#include <QString>

class QWidget;

namespace tidewell {

class SkinFramework;

// Where the skin stands, relative to the program folder.
inline const QString skinFileName = QStringLiteral("x/o.cjs");

// Skins the main window when the skin file stands beside the executable:
// colours the window's plain controls first, then hands the file to the
// skin component. Without the file nothing at all changes.
void ApplySkin(QWidget &mainWindow, SkinFramework &SkinFramework1, const QString &programFolder);

// Gives the window and its option buttons, check boxes, frames and labels
// the theme's button-face colour as their background. Controls of other
// windows (an owned dialog, say) are left to their own window.
void ColorFormControls(QWidget &window);

} // namespace tidewell
