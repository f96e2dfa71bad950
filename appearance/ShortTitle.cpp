#include "ShortTitle.h"

#include "ProgramTitle.h"
#include "RuntimeError.h"

namespace tidewell {
namespace {
QString beforeLastSpace(const QString &text)
{
    const qsizetype space = text.lastIndexOf(QLatin1Char(' '));
    if (space < 0)
        throw RuntimeError::invalidProcedureCall();
    return text.left(space);
}
} // namespace

QString shortProgramTitle(const QString &name)
{
    QString title = beforeLastSpace(name);
    while (title.size() > programTitleLength)
        title = beforeLastSpace(title);
    return title;
}

void SetProgramTitle()
{
    SetProgramTitle(QStringLiteral("Tidewell Episode Keeper"));
}

void SetProgramTitle(const QString &name)
{
    setProgramTitle(shortProgramTitle(name));
}

} // namespace tidewell
