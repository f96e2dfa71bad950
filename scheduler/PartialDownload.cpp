#include "PartialDownload.h"

#include "PathHelpers.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace tidewell {

namespace {

constexpr qint64 keptForSeconds = 7 * 24 * 3600;

QString partialFolder()
{
    return StateFolder() + QStringLiteral("/partial");
}

void dropStale(const QString &folder)
{
    const QDateTime oldest = QDateTime::currentDateTime().addSecs(-keptForSeconds);
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::Files)) {
        if (entry.lastModified() < oldest)
            QFile::remove(entry.absoluteFilePath());
    }
}

std::optional<PartialDownload::Origin> readOrigin(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
        return std::nullopt;
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    PartialDownload::Origin origin{json.value(u"episodeUrl").toString(), json.value(u"answeredUrl").toString(),
                                   json.value(u"validator").toString().toUtf8()};
    if (origin.episodeUrl.isEmpty() || origin.answeredUrl.isEmpty() || origin.validator.isEmpty())
        return std::nullopt;
    return origin;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool syncToDisk(QFile &file)
{
    return file.flush() && ::fdatasync(file.handle()) == 0;
}

// The bytes copied into a hidden temporary file beside the destination,
// synced, then renamed over it: the destination is the old file or the new
// one, never a part of either.
bool copyInto(const QString &source, const QString &destination, QString &error)
{
    QFile from(source);
    const QFileInfo target(destination);
    QTemporaryFile copy(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!from.open(QIODevice::ReadOnly) || !copy.open()) {
        error = from.isOpen() ? copy.errorString() : from.errorString();
        return false;
    }
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (qint64 read; (read = from.read(buffer.data(), buffer.size())) > 0;) {
        if (copy.write(buffer.constData(), read) != read) {
            error = copy.errorString();
            return false;
        }
    }
    if (!syncToDisk(copy)) {
        error = systemError();
        return false;
    }
    if (std::rename(QFile::encodeName(copy.fileName()).constData(), QFile::encodeName(destination).constData()) != 0) {
        error = systemError();
        return false;
    }
    copy.setAutoRemove(false);
    return true;
}

} // namespace

PartialDownload::PartialDownload(const QString &destination)
{
    const QString folder = partialFolder();
    QDir().mkpath(folder);
    dropStale(folder);
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(QFileInfo(destination).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1)
            .toHex());
    m_path = folder + u'/' + key + QStringLiteral(".part");
    m_originPath = folder + u'/' + key + QStringLiteral(".origin");
    if (QFile::exists(m_path))
        m_origin = readOrigin(m_originPath);
    if (!m_origin)
        drop();
}

PartialDownload::~PartialDownload() = default;

qint64 PartialDownload::resumableFor(const QString &episodeUrl) const
{
    if (!m_origin || m_origin->episodeUrl != episodeUrl)
        return 0;
    const qint64 held = size();
    return held >= worthKeeping ? held : 0;
}

bool PartialDownload::open(bool append, QString &error)
{
    m_file.close();
    m_file.setFileName(m_path);
    if (!append) {
        QFile::remove(m_originPath);
        m_origin.reset();
    }
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered
        | (append ? QIODevice::Append : QIODevice::Truncate);
    if (m_file.open(mode))
        return true;
    error = m_file.errorString();
    return false;
}

bool PartialDownload::write(const char *data, qsizetype size, QString &error)
{
    if (m_file.write(data, size) == size)
        return true;
    error = m_file.errorString();
    return false;
}

void PartialDownload::remember(const Origin &origin)
{
    m_origin = origin;
    QFile file(m_originPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QJsonObject json{{QStringLiteral("episodeUrl"), origin.episodeUrl},
                               {QStringLiteral("answeredUrl"), origin.answeredUrl},
                               {QStringLiteral("validator"), QString::fromUtf8(origin.validator)}};
        file.write(QJsonDocument(json).toJson(QJsonDocument::Compact));
    }
}

qint64 PartialDownload::size() const
{
    return m_file.isOpen() ? m_file.size() : QFileInfo(m_path).size();
}

bool PartialDownload::replace(const QString &destination, QString &error)
{
    if (!m_file.isOpen() && !m_file.open(QIODevice::ReadWrite)) {
        error = m_file.errorString();
        return false;
    }
    if (!syncToDisk(m_file)) {
        error = systemError();
        return false;
    }
    m_file.close();
    if (std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(destination).constData()) != 0) {
        if (errno != EXDEV) {
            error = systemError();
            return false;
        }
        if (!copyInto(m_path, destination, error))
            return false;
    }
    drop();
    return true;
}

void PartialDownload::keepIfWorthIt()
{
    m_file.close();
    if (!m_origin || size() < worthKeeping)
        drop();
}

void PartialDownload::drop()
{
    m_file.close();
    QFile::remove(m_path);
    QFile::remove(m_originPath);
    m_origin.reset();
}

} // namespace tidewell
