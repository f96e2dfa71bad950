#include "MessageBox.h"

#include "ProgramTitle.h"

namespace tidewell {

int MessageBox::show(const QString &prompt, int style, const QString &title)
{
    return present(prompt, style, title.isEmpty() ? programTitle() : title);
}

QString MessageBox::withLineFeeds(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace tidewell
