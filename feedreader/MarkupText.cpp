#include "MarkupText.h"

#include "CloseFinder.h"

#include <cstring>

namespace tidewell {

QString stripTags(QString text)
{
    const qsizetype size = text.size();
    char16_t *const buffer = reinterpret_cast<char16_t *>(text.data());
    const QStringView view(buffer, size);
    CloseFinder closer(view);
    qsizetype written = 0;
    qsizetype kept = 0;
    const auto keepUpTo = [&](qsizetype end) {
        if (written != kept)
            std::memmove(buffer + written, buffer + kept, std::size_t(end - kept) * sizeof(char16_t));
        written += end - kept;
    };
    for (qsizetype open = view.indexOf(u'<'); open >= 0; open = view.indexOf(u'<', kept)) {
        const qsizetype close = closer.from(open + 2);
        if (close < 0)
            break; // nothing closes this '<', so nothing closes a later one
        keepUpTo(open);
        kept = close + 1;
    }
    keepUpTo(size);
    text.truncate(written);
    return text;
}

} // namespace tidewell
