#include "ProgramTitle.h"

namespace tidewell {
namespace {
QString &titleHolder()
{
    static QString title = QStringLiteral("Tidewell Episode");
    return title;
}
} // namespace

QString programTitle()
{
    return titleHolder();
}

void setProgramTitle(const QString &title)
{
    titleHolder() = title;
}

} // namespace tidewell
