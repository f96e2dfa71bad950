#include "NetworkRules.h"

#include "BuildConfig.h"

namespace tidewell::net {

namespace {

bool startsWithWebScheme(QStringView text)
{
    return text.startsWith(u"http://", Qt::CaseInsensitive) || text.startsWith(u"https://", Qt::CaseInsensitive);
}

// feed://host/path, feed://https://host/path, feed:https://host/path.
QString unwrapFeedScheme(QStringView rest)
{
    if (rest.startsWith(u"//")) {
        rest = rest.mid(2);
        return startsWithWebScheme(rest) ? rest.toString() : QStringLiteral("http://") + rest.toString();
    }
    return rest.toString();
}

} // namespace

QUrl podcastUrl(const QString &link)
{
    const QString text = link.trimmed();
    const QStringView view(text);
    if (view.startsWith(u"feed:", Qt::CaseInsensitive))
        return QUrl(unwrapFeedScheme(view.mid(5)));
    for (QStringView scheme : {QStringView(u"itpc://"), QStringView(u"pcast://")}) {
        if (view.startsWith(scheme, Qt::CaseInsensitive))
            return QUrl(QStringLiteral("http://") + view.mid(scheme.size()).toString());
    }
    return QUrl(text);
}

bool isFetchable(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

QByteArray userAgent()
{
    return QByteArrayLiteral("Tidewell-Episode-Keeper/") + QByteArray(build::version);
}

QString displayUrl(const QUrl &url)
{
    return url.toDisplayString(QUrl::RemovePassword);
}

QByteArray cleanValidator(const QByteArray &value)
{
    QByteArray clean;
    clean.reserve(value.size());
    for (const char byte : value) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x20 && code != 0x7f)
            clean += byte;
    }
    return clean.trimmed();
}

std::optional<qint64> retryAfterSeconds(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool number = false;
    const qint64 seconds = text.toLongLong(&number);
    if (number)
        return seconds >= 0 ? std::optional<qint64>(seconds) : std::nullopt;
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date);
    if (!when.isValid())
        return std::nullopt;
    return std::max<qint64>(0, now.secsTo(when));
}

} // namespace tidewell::net
