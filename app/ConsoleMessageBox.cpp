#include "ConsoleMessageBox.h"

#include <cstdio>

namespace tidewell {

int ConsoleMessageBox::present(const QString &prompt, int style, const QString &title)
{
    ++m_shown;
    QString text = prompt;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
    return (style & 0x0f) == msgbox::YesNo ? msgbox::No : msgbox::Ok;
}

} // namespace tidewell
