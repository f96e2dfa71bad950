#pragma once

#include <QIcon>
#include <QList>

namespace tidewell {

// The sizes the program icon is built into the program in, as title bars,
// task bars and the notification area ask for them. Larger views (menus,
// software centres, task switchers) take the installed theme icons, which
// also come in 128 and 256 pixels: decoding those and sending them to the
// X server as the window's icon made every start noticeably slower.
QList<int> programIconSizes();

// The program's own icon, a blue square with a white "M", built into the
// executable so it shows wherever the program stands.
QIcon programIcon();

// The program icon with a small warning mark in its corner, for the
// notification area while downloads fail.
QIcon programIconWithWarning();

} // namespace tidewell
