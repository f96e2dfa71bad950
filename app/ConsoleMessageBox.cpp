#include "ConsoleMessageBox.h"

#include <cstdio>

namespace tidewell {

int ConsoleMessageBox::present(const QString &prompt, int style, const QString &title)
{
    std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(), withLineFeeds(prompt).toLocal8Bit().constData());
    std::fflush(stderr);
    return (style & 0x0f) == msgbox::YesNo ? msgbox::No : msgbox::Ok;
}

} // namespace tidewell
