#pragma once

#include <QString>

namespace tidewell {

// The short name the running program is known by; message boxes without a
// title of their own carry it. Set once while the main window loads.
QString programTitle();
void setProgramTitle(const QString &title);

} // namespace tidewell
