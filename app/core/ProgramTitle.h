#pragma once

#include <QString>

namespace tidewell {

// The product's name, as the window's caption and the tray show it.
inline const QString productName = QStringLiteral("Tidewell Episode Keeper");

// The short name the running program is known by; message boxes without a
// title of their own carry it. Set once while the main window loads.
QString programTitle();
void setProgramTitle(const QString &title);

} // namespace tidewell
