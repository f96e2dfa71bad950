#pragma once

#include <QIcon>
#include <QList>

namespace tidewell {

// The sizes the program icon is drawn in, as desktops ask for them.
QList<int> programIconSizes();

// The program's own icon, a blue square with a white "M", built into the
// executable so it shows wherever the program stands.
QIcon programIcon();

} // namespace tidewell
