#pragma once

#include <QStringList>

namespace tidewell {

// True when the arguments ask for the command line rather than the window.
bool wantsCommandLine(const QStringList &arguments);

// Runs the command line; needs a QCoreApplication but no display. Returns
// the process's exit status.
int runCommandLine(const QStringList &arguments, const QString &programFolder);

} // namespace tidewell
