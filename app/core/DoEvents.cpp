#include "DoEvents.h"

#include <QCoreApplication>

namespace tidewell {

void DoEvents()
{
    QCoreApplication::processEvents();
}

} // namespace tidewell
